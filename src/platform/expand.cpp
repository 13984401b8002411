// The portable template expander: the insert syntax of the system message formatter, for a list of strings.
//
// It differs from the system formatter on purpose in one way: it never reads an insert it was not given. An
// insert number beyond the list, a !fmt! that is not a string conversion (which would read the string as a
// number), or a width or precision beyond an entry line fails the expansion instead.
#include "platform/platform.h"

#include <algorithm>
#include <cstddef>

namespace zephlog::platform {
namespace {

// Widths and precisions beyond this cannot fit an entry line; refusing them keeps the output small.
constexpr int max_field_width = 1024;

struct string_conversion {
    bool left = false;       // the '-' flag
    bool zeros = false;      // the '0' flag: the system formatter pads strings with zeros too
    int width = 0;
    int precision = -1;      // -1: none
};

// Reads a run of digits at `pos`; false when the number exceeds max_field_width.
bool read_number(std::string_view text, std::size_t &pos, int &value) {
    value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > max_field_width) return false;
    }
    return true;
}

// Parses the printf conversion between the two '!': flags, width, precision, then 's'.
bool parse_conversion(std::string_view fmt, string_conversion &conv) {
    std::size_t pos = 0;
    for (; pos < fmt.size() && std::string_view("-+ #0").find(fmt[pos]) != std::string_view::npos; ++pos) {
        conv.left = conv.left || fmt[pos] == '-';
        conv.zeros = conv.zeros || fmt[pos] == '0';
    }
    if (!read_number(fmt, pos, conv.width)) return false;
    if (pos < fmt.size() && fmt[pos] == '.') {
        ++pos;
        if (!read_number(fmt, pos, conv.precision)) return false;
    }
    return pos + 1 == fmt.size() && fmt[pos] == 's';
}

void append_converted(std::string &out, std::string_view value, const string_conversion &conv) {
    if (conv.precision >= 0) value = value.substr(0, static_cast<std::size_t>(conv.precision));
    const std::size_t pad = static_cast<std::size_t>(std::max(conv.width, 0));
    const std::size_t fill = pad > value.size() ? pad - value.size() : 0;
    if (!conv.left) out.append(fill, conv.zeros ? '0' : ' ');  // '-' pads with spaces on the right instead
    out.append(value);
    if (conv.left) out.append(fill, ' ');
}

// Expands the insert whose first digit is at `pos`; leaves `pos` after the insert.
bool expand_insert(std::string_view tmpl, std::size_t &pos, std::span<const std::string_view> inserts,
                   std::string &out) {
    std::size_t number = static_cast<std::size_t>(tmpl[pos++] - '0');
    if (pos < tmpl.size() && tmpl[pos] >= '0' && tmpl[pos] <= '9') number = number * 10 + (tmpl[pos++] - '0');

    string_conversion conv;
    if (pos < tmpl.size() && tmpl[pos] == '!') {
        const std::size_t close = tmpl.find('!', pos + 1);
        if (close == std::string_view::npos) return false;
        if (!parse_conversion(tmpl.substr(pos + 1, close - pos - 1), conv)) return false;
        pos = close + 1;
    }
    if (number > inserts.size()) return false;
    append_converted(out, inserts[number - 1], conv);
    return true;
}

}  // namespace

bool expand_inserts(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out) {
    out.clear();
    std::size_t pos = 0;
    while (pos < tmpl.size()) {
        const char c = tmpl[pos++];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && pos < tmpl.size() && tmpl[pos] == '\n') ++pos;
            out += "\r\n";
            continue;
        }
        if (c != '%') {
            out += c;
            continue;
        }
        if (pos == tmpl.size()) return false;  // a lone '%' at the end
        const char escape = tmpl[pos];
        if (escape >= '1' && escape <= '9') {
            if (!expand_insert(tmpl, pos, inserts, out)) return false;
            continue;
        }
        ++pos;
        if (escape == '0') break;
        switch (escape) {
        case 'n': out += "\r\n"; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default: out += escape; break;  // %% %. %! %space, and any other character, stand for themselves
        }
    }
    return !out.empty();
}

}  // namespace zephlog::platform

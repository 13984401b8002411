#include "compose/line.h"

#include <boost/format.hpp>
#include <boost/version.hpp>

#include <algorithm>
#include <charconv>
#include <limits>
#include <locale>
#include <cstdio>
#include <cstring>
#include <string>

namespace zephlog {
namespace {


// The guard below walks a message with Boost.Format's own parsing functions, as version 1.74 has them: another
// version must be checked against it before it is used.
static_assert(BOOST_VERSION == 107400, "check message_guard against this Boost.Format version");

// Boost.Format trusts two things about a message that need not hold, and its parser then writes past its own
// table or overflows an int. Such messages are refused here, as ill-formed ones, before the formatter sees them.
// 1. It sizes its table of directives by a quick scan of the message, then fills the table with its full parser.
//    The two disagree when a directive takes a '%' as its own character: in "%1% %T%%-%%" the tab directive takes
//    the '%' as its fill character, so the parser finds directives where the scan saw "%%".
// 2. It reads the numbers of a directive (argument, width, precision) into an int without a bound.
class message_guard {
public:
    explicit message_guard(const std::string &message) : message_(message) {}

    void check() {
        for (std::size_t pos = message_.find('%'); pos != std::string::npos; pos = message_.find('%', pos)) {
            if (pos + 1 < message_.size() && message_[pos + 1] == '%') {
                pos += 2;
                continue;
            }
            pos = check_directive(pos + 1);
        }
    }

private:
    static constexpr std::size_t max_digits = 9;  // any number of nine digits fits an int

    using item_type = boost::io::detail::format_item<char, std::char_traits<char>, std::allocator<char>>;

    // Checks the directive that starts after the '%' at `pos - 1`; returns where the parser goes on.
    std::size_t check_directive(std::size_t pos) {
        if (!numbers_fit(pos)) refuse(pos);
        if (filled_ >= table_size()) refuse(pos);
        std::size_t end = pos;
        while (end < message_.size() && message_[end] >= '0' && message_[end] <= '9') ++end;
        if (end > pos && end < message_.size() && message_[end] == '%') {  // "%N%": read alike by scan and parser
            ++filled_;
            return end + 1;
        }
        plain_only_ = false;
        auto it = message_.begin() + static_cast<std::ptrdiff_t>(pos);
        item_.reset(' ');
        if (boost::io::detail::parse_printf_directive(it, message_.end(), &item_, facet_, pos, 0) &&
            item_.argN_ != item_type::argN_ignored) {
            ++filled_;
        }
        return static_cast<std::size_t>(it - message_.begin());
    }

    // The numbers of a directive stand in its first characters, among its flags.
    bool numbers_fit(std::size_t pos) const {
        std::size_t digits = 0;
        for (; pos < message_.size() && std::string_view("|$-+=_ #'.0123456789").find(message_[pos]) != std::string_view::npos; ++pos) {
            digits = message_[pos] >= '0' && message_[pos] <= '9' ? digits + 1 : 0;
            if (digits > max_digits) return false;
        }
        return true;
    }

    // While every directive so far was "%N%", the scan and the parser agree: the table is large enough.
    int table_size() {
        if (plain_only_) return std::numeric_limits<int>::max();
        if (table_size_ < 0) {
            table_size_ = boost::io::detail::upper_bound_from_fstring(message_, '%', facet_, boost::io::all_error_bits);
        }
        return table_size_;
    }

    [[noreturn]] void refuse(std::size_t pos) const { throw boost::io::bad_format_string(pos, message_.size()); }

    const std::string &message_;
    const std::ctype<char> &facet_ = std::use_facet<std::ctype<char>>(std::locale());
    item_type item_{' '};
    int filled_ = 0;
    int table_size_ = -1;
    bool plain_only_ = true;
};

// Feeds one string argument for each key counted by positional_argument_count.
std::string format_positional(const char *message, std::va_list args) {
    const std::string text = message;
    message_guard(text).check();
    boost::format formatter(text);
    for (int n = positional_argument_count(text); n > 0; --n) {
        const char *arg = va_arg(args, const char *);
        formatter % (arg != nullptr ? arg : "(null)");
    }
    return formatter.str();
}

// Writes the message text at `out`, at most `limit` characters; returns its length.
std::size_t write_message(char *out, std::size_t limit, const char *message, std::va_list args) {
    std::string positional;
    std::string_view text;
    switch (choose_mode(message)) {
    case message_mode::positional:
        positional = format_positional(message, args);
        text = positional;
        break;
    case message_mode::verbatim:
        text = message;
        break;
    case message_mode::printf: {
        const int produced = std::vsnprintf(out, limit + 1, message, args);
        return produced < 0 ? 0 : std::min(static_cast<std::size_t>(produced), limit);
    }
    }
    text = text.substr(0, limit);
    std::memcpy(out, text.data(), text.size());
    return text.size();
}

// Widens each kept line feed to CR LF and two spaces, drops the text from a fourth line on, records where each
// line starts, and closes the line. `text_end` is P + L before the pass.
void break_lines(entry_line &line, std::size_t prefix_length, std::size_t text_end) {
    char *buffer = line.line_buffer.data();
    line.line_count = 1;
    line.line_starts[0] = static_cast<std::int32_t>(prefix_length);
    for (std::size_t pos = prefix_length; pos < text_end; ++pos) {
        if (buffer[pos] != '\n') continue;
        if (line.line_count == max_lines) {
            text_end = pos;
            break;
        }
        std::memmove(buffer + pos + 4, buffer + pos + 1, text_end - pos - 1);
        std::memcpy(buffer + pos, "\r\n  ", 4);
        text_end += 3;
        pos += 3;
        line.line_starts[line.line_count++] = static_cast<std::int32_t>(pos + 1);
    }
    line.line_starts[line.line_count] = static_cast<std::int32_t>(text_end + 4);
    std::memcpy(buffer + text_end, "\r\n", 3);
}

}  // namespace

message_mode choose_mode(std::string_view message) {
    if (message.find("%1%") != std::string_view::npos) return message_mode::positional;
    if (message.find("%1") != std::string_view::npos) return message_mode::verbatim;
    if (message.find('%') != std::string_view::npos) return message_mode::printf;
    return message_mode::verbatim;
}

int positional_argument_count(std::string_view message) {
    int count = 0;
    for (; count < max_positional_args; ++count) {
        char key[8] = "%";  // snprintf would cost more than the search
        char *key_end = std::to_chars(key + 1, key + sizeof key - 1, count + 1).ptr;
        *key_end++ = '%';
        if (message.find(std::string_view(key, static_cast<std::size_t>(key_end - key))) == std::string_view::npos) break;
    }
    return count;
}

std::optional<std::size_t> printf_string_conversions(std::string_view message) {
    const auto skip_digits = [&](std::size_t at) {
        while (at < message.size() && message[at] >= '0' && message[at] <= '9') ++at;
        return at;
    };
    std::size_t count = 0;
    for (std::size_t at = message.find('%'); at != std::string_view::npos; at = message.find('%', at)) {
        ++at;
        if (at < message.size() && message[at] == '%') {
            ++at;
            continue;
        }
        while (at < message.size() && std::string_view("-+ #0").find(message[at]) != std::string_view::npos) ++at;
        at = skip_digits(at);
        if (at < message.size() && message[at] == '.') at = skip_digits(at + 1);
        if (at >= message.size() || message[at] != 's') return std::nullopt;
        ++at;
        ++count;
    }
    return count;
}

void compose_line(entry_line &line, std::string_view prefix, const char *message, std::va_list args) {
    prefix = prefix.substr(0, line_size - 1);
    std::memcpy(line.line_buffer.data(), prefix.data(), prefix.size());
    const std::size_t limit = line_size - 1 - prefix.size();
    const std::size_t length = write_message(line.line_buffer.data() + prefix.size(), limit, message, args);
    break_lines(line, prefix.size(), prefix.size() + length);
}

}  // namespace zephlog

#include "output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace zephlog::tools {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

std::string hex_byte(unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    return {digits[byte >> 4], digits[byte & 0xF]};
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Valid UTF-8 as it is; control characters (but tab) and stray bytes as \xHH.
std::string printable(std::string_view line) {
    std::string out;
    for (std::size_t at = 0; at < line.size();) {
        const auto byte = static_cast<unsigned char>(line[at]);
        const std::size_t length = utf8_sequence_length(line.substr(at));
        if (length == 0 || (byte < 0x20 && byte != '\t') || byte == 0x7F) {
            out += "\\x" + hex_byte(byte);
            ++at;
        } else {
            out.append(line.substr(at, length));
            at += length;
        }
    }
    return out;
}

// Valid UTF-8 as it is, every other byte as U+FFFD; `replaced` tells whether any was.
std::string as_utf8(std::string_view line, bool &replaced) {
    std::string out;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t length = utf8_sequence_length(line.substr(at));
        if (length == 0) {
            out += replacement;
            replaced = true;
            ++at;
        } else {
            out.append(line.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string hex(std::string_view bytes) {
    std::string out;
    for (char c : bytes) out += hex_byte(static_cast<unsigned char>(c));
    return out;
}

int shown_lines(const store::log_record &record) { return std::min<int>(record.line_count, store::line_slots); }

// ISO 8601 wants the offset as +hh:mm; strftime's %z gives +hhmm.
std::string iso_time(std::time_t time) {
    std::string text = local_time_text(time, "%Y-%m-%dT%H:%M:%S%z");
    if (text.size() >= 5) text.insert(text.size() - 2, ":");
    return text;
}

}  // namespace

std::string_view type_labels::name(int type) const {
    return type >= 0 && type < static_cast<int>(names.size()) ? std::string_view(names[static_cast<std::size_t>(type)])
                                                               : std::string_view();
}

int type_labels::type_of(std::string_view text) const {
    int number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc() && end == text.data() + text.size()) return number >= 0 && number <= 5 ? number : -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && equal_ignoring_case(names[i], text)) return static_cast<int>(i);
    }
    return -1;
}

std::size_t utf8_sequence_length(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    // The lead byte gives the length and the range of the second byte, which rules out overlong forms,
    // surrogates and code points above U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

std::string local_time_text(std::time_t time, const char *pattern) {
    std::tm parts{};
    const std::tm *local = std::localtime(&time);  // the tools are single-threaded
    if (local != nullptr) parts = *local;
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, pattern, &parts);
    return {text, length};
}

std::string format_text(const kept_record &entry, const type_labels &labels) {
    const store::log_record &record = entry.record;
    char number[8];
    std::snprintf(number, sizeof number, "%05u", unsigned{record.error_number});
    std::string name(labels.name(record.entry_type));
    name.resize(std::max<std::size_t>(name.size(), 9), ' ');
    std::string out = local_time_text(record.entry_time, "%Y-%m-%d %H:%M:%S") + " " + number + " " +
                      std::to_string(record.entry_type) + " " + name + " ";
    const std::string indent(out.size(), ' ');
    for (int i = 0; i < shown_lines(record); ++i) {
        if (i > 0) out += "\n" + indent;
        out += printable(record.line(i));
    }
    return out;
}

std::string format_json(const kept_record &entry, const type_labels &labels) {
    const store::log_record &record = entry.record;
    nlohmann::ordered_json object;
    object["time"] = record.entry_time;
    object["iso"] = iso_time(record.entry_time);
    object["slot"] = entry.slot;
    object["type"] = record.entry_type;
    if (!labels.name(record.entry_type).empty()) object["type_name"] = labels.name(record.entry_type);
    object["number"] = record.error_number;
    bool replaced = false;
    auto lines = nlohmann::ordered_json::array();
    auto exact = nlohmann::ordered_json::array();
    for (int i = 0; i < shown_lines(record); ++i) {
        lines.push_back(as_utf8(record.line(i), replaced));
        exact.push_back(hex(record.line(i)));
    }
    object["lines"] = std::move(lines);
    if (replaced) object["lines_hex"] = std::move(exact);
    return object.dump();
}

std::string format_record(const kept_record &entry, const type_labels &labels, output_format format) {
    return format == output_format::json ? format_json(entry, labels) : format_text(entry, labels);
}

}  // namespace zephlog::tools

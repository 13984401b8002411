#include "compose/line.h"

#include <boost/format.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace zephlog {
namespace {

constexpr int max_positional_args = 20;

// Feeds the n-th string argument for each key %n% present, from %1% up to the first absent key.
std::string format_positional(const char *message, std::va_list args) {
    const std::string_view text = message;
    boost::format formatter(message);
    for (int n = 1; n <= max_positional_args; ++n) {
        char key[8] = "%";  // snprintf would cost more than the search
        char *key_end = std::to_chars(key + 1, key + sizeof key - 1, n).ptr;
        *key_end++ = '%';
        if (text.find(std::string_view(key, static_cast<std::size_t>(key_end - key))) == std::string_view::npos) break;
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

void compose_line(entry_line &line, std::string_view prefix, const char *message, std::va_list args) {
    prefix = prefix.substr(0, line_size - 1);
    std::memcpy(line.line_buffer.data(), prefix.data(), prefix.size());
    const std::size_t limit = line_size - 1 - prefix.size();
    const std::size_t length = write_message(line.line_buffer.data() + prefix.size(), limit, message, args);
    break_lines(line, prefix.size(), prefix.size() + length);
}

}  // namespace zephlog

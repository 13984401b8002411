// Any prefix and message with up to 20 string arguments: the entry line must stay within its buffer and its line
// table must describe it. Printf messages are only taken when every directive reads a string, as callers must
// ensure.
#include "compose/line.h"

#include <boost/format.hpp>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t arg_count = 20;

void compose(zephlog::entry_line &line, std::string_view prefix, const char *message, ...) {
    std::va_list args;
    va_start(args, message);
    try {
        zephlog::compose_line(line, prefix, message, args);
    } catch (const boost::io::format_error &) {
        line.line_count = 0;
    }
    va_end(args);
}

void check(const zephlog::entry_line &line) {
    if (line.line_count == 0) return;  // the formatter refused the message
    if (line.line_count < 1 || line.line_count > zephlog::max_lines) std::abort();
    const std::size_t end = static_cast<std::size_t>(line.line_starts[line.line_count]) - 2;  // after CR LF
    if (end + 1 > line.line_buffer.size() || line.line_buffer[end] != '\0') std::abort();
    for (int i = 0; i < line.line_count; ++i) {
        if (line.line_starts[i + 1] - line.line_starts[i] < 4) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The input is NUL-separated: prefix, message, then the arguments.
    std::vector<std::string> parts;
    const char *text = reinterpret_cast<const char *>(data);
    for (std::size_t start = 0; start <= size && parts.size() < 2 + arg_count;) {
        const void *nul = std::memchr(text + start, '\0', size - start);
        const std::size_t end = nul != nullptr ? static_cast<std::size_t>(static_cast<const char *>(nul) - text) : size;
        parts.emplace_back(text + start, end - start);
        start = end + 1;
    }
    parts.resize(2 + arg_count);
    const std::string &message = parts[1];
    if (zephlog::choose_mode(message) == zephlog::message_mode::printf) {
        const auto conversions = zephlog::printf_string_conversions(message);
        if (!conversions || *conversions > arg_count) return 0;
    }

    std::array<const char *, arg_count> args;
    for (std::size_t i = 0; i < arg_count; ++i) args[i] = parts[2 + i].c_str();
    zephlog::entry_line line;
    compose(line, parts[0], message.c_str(), args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7],
            args[8], args[9], args[10], args[11], args[12], args[13], args[14], args[15], args[16], args[17],
            args[18], args[19]);
    check(line);
    return 0;
}

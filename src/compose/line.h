// The entry line: the prefix, then the message in its mode, broken into at most three lines.
#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zephlog {

inline constexpr std::size_t line_size = 1024;  // the entry line's text is at most line_size - 1 characters
inline constexpr int max_lines = 3;

// Each of the two line feeds that are kept grows by a CR before it and two spaces after it; CR, LF and NUL close
// the line. The buffer holds them beyond the text, so the text limit is the same in every mode.
inline constexpr std::size_t line_capacity = line_size - 1 + 3 * (max_lines - 1) + 3;

enum class message_mode { positional, verbatim, printf };

// The mode follows from plain substrings of the message: "%1%", then "%1", then "%".
message_mode choose_mode(std::string_view message);

// A positional message takes one string argument for each of the keys %1%, %2%, ... that it contains, counted
// from %1% up to the first one missing, at most 20.
inline constexpr int max_positional_args = 20;
int positional_argument_count(std::string_view message);

// The number of string conversions of a printf message (flags, width and precision allowed, "%%" not counted), or
// nothing when it has any other directive: callers that hold only strings, such as a shell, may log the message
// only then.
std::optional<std::size_t> printf_string_conversions(std::string_view message);

struct entry_line {
    std::array<char, line_capacity> line_buffer{};
    int line_count = 0;                                   // 1..3
    std::array<std::int32_t, max_lines + 1> line_starts{};  // line i spans [start i, start i+1 - 4)

    const char *c_str() const { return line_buffer.data(); }
    std::string_view line(int index) const {
        return {line_buffer.data() + line_starts[index],
                static_cast<std::size_t>(line_starts[index + 1] - line_starts[index] - 4)};
    }
};

// Puts `prefix` (cut to line_size - 1 characters) and the message, cut to what is left of line_size - 1
// characters, into `line`, widens its line breaks, keeps three lines and closes the line with CR LF.
// Positional messages take NUL-terminated strings from `args`, printf messages their printf arguments.
// Throws the formatter's boost::io::format_error for a bad positional message.
void compose_line(entry_line &line, std::string_view prefix, const char *message, std::va_list args);

}  // namespace zephlog

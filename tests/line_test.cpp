// The message modes, the newline pass and the bounds of the entry line.
#include "compose/line.h"

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include <cstdarg>
#include <optional>
#include <string>
#include <vector>

namespace {

using zephlog::entry_line;
using zephlog::message_mode;

entry_line compose(std::string_view prefix, const char *message, ...) {
    entry_line line;
    std::va_list args;
    va_start(args, message);
    try {
        zephlog::compose_line(line, prefix, message, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return line;
}

std::vector<std::string_view> lines_of(const entry_line &line) {
    std::vector<std::string_view> lines;
    for (int i = 0; i < line.line_count; ++i) lines.push_back(line.line(i));
    return lines;
}

TEST(MessageMode, FirstMatchingSubstringDecides) {
    const std::pair<const char *, message_mode> cases[] = {
        {"Job %1% failed", message_mode::positional},
        {"%1 and %1% both", message_mode::positional},
        {"Cannot reach %1 now", message_mode::verbatim},
        {"%10 percent", message_mode::verbatim},
        {"Disk %s is %d%% full", message_mode::printf},
        {"only %2% here", message_mode::printf},
        {"no percent sign", message_mode::verbatim},
        {"", message_mode::verbatim},
    };
    for (const auto &[message, mode] : cases) EXPECT_EQ(zephlog::choose_mode(message), mode) << message;
}

TEST(ComposeLine, AppendsTheMessageInItsMode) {
    struct {
        const char *message;
        const char *expected;
    } const cases[] = {
        {"Job %1% failed after %2% tries", "P: Job backup failed after 3 tries\r\n"},
        {"%1%-%1% at 50%%", "P: backup-backup at 50%\r\n"},
        {"Cannot reach %1 now %s", "P: Cannot reach %1 now %s\r\n"},
        {"plain text", "P: plain text\r\n"},
        {"[%s|%5s|%-4s]", "P: [backup|    3|x   ]\r\n"},
        {"", "P: \r\n"},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(compose("P: ", c.message, "backup", "3", "x").c_str(), c.expected) << c.message;
    }
}

TEST(MessageMode, PrintfStringConversionsAreCountedOthersRefused) {
    const std::pair<const char *, std::optional<std::size_t>> cases[] = {
        {"%s and %-5.2s at 50%%", 2}, {"no directive %%", 0}, {"%d", std::nullopt}, {"%n", std::nullopt},
        {"%*s", std::nullopt}, {"%2$s", std::nullopt}, {"%ls", std::nullopt}, {"ends in %", std::nullopt}};
    for (const auto &[message, count] : cases) EXPECT_EQ(zephlog::printf_string_conversions(message), count) << message;
}

TEST(ComposeLine, PrintfModeTakesPrintfArguments) {
    EXPECT_STREQ(compose("", "Disk %s is %d%% full (%.1f)", "/var", 91, 2.5).c_str(), "Disk /var is 91% full (2.5)\r\n");
}

TEST(ComposeLine, PositionalErrorsLeaveAsTheFormattersExceptions) {
    EXPECT_THROW(compose("P", "%1% and a lone %", "a"), boost::io::bad_format_string);
    EXPECT_THROW(compose("P", "%1% mixed with %s", "a"), boost::io::bad_format_string);
    EXPECT_THROW(compose("P", "%1% then %y", "a"), boost::io::bad_format_string);
    EXPECT_THROW(compose("P", "%1% and %3%", "a", "b"), boost::io::too_few_args);
    EXPECT_THROW(compose("P", "%1% and %%2%%", "a", "b"), boost::io::too_many_args);
}

// The formatter would write past its own table for the first two (a directive that takes a '%' as its fill
// character makes its parser find more directives than it made room for) and overflow an int for the others.
TEST(ComposeLine, MessagesThatWouldOverrunTheFormatterAreRefused) {
    for (const char *message : {"%1% ob%%%T%%-%%!%%%%: ", "%1% %T%%-%%", "%1% %11111111111110%", "%1% %|-.12345678901s|"}) {
        EXPECT_THROW(compose("P", message, "a"), boost::io::bad_format_string) << message;
    }
    // Long numbers outside directives are text.
    EXPECT_STREQ(compose("", "%1% 12345678901234 %%12345678901234", "a").c_str(), "a 12345678901234 %12345678901234\r\n");
}

struct newline_case {
    const char *message;
    const char *expected_buffer;
    std::vector<std::string_view> expected_lines;
    std::vector<std::int32_t> expected_starts;
};

TEST(NewlinePass, WidensBreaksKeepsThreeLinesAndRecordsOffsets) {
    const newline_case cases[] = {
        {"A\nB", "P: A\r\n  B\r\n", {"A", "B"}, {3, 8, 13}},
        {"A\n", "P: A\r\n  \r\n", {"A", ""}, {3, 8, 12}},
        {"1\n2\n3\n4\n5", "P: 1\r\n  2\r\n  3\r\n", {"1", "2", "3"}, {3, 8, 13, 18}},
        {"\n\n\n", "P: \r\n  \r\n  \r\n", {"", "", ""}, {3, 7, 11, 15}},
        {"a\r\nb", "P: a\r\r\n  b\r\n", {"a\r", "b"}, {3, 9, 14}},
        {"one line", "P: one line\r\n", {"one line"}, {3, 15}},
    };
    for (const newline_case &c : cases) {
        const entry_line line = compose("P: ", c.message);
        EXPECT_STREQ(line.c_str(), c.expected_buffer) << c.message;
        EXPECT_EQ(lines_of(line), c.expected_lines) << c.message;
        const std::vector<std::int32_t> starts(line.line_starts.begin(), line.line_starts.begin() + line.line_count + 1);
        EXPECT_EQ(starts, c.expected_starts) << c.message;
    }
}

// Every mode cuts the message text so that prefix and text make at most 1023 characters; the line breaks and the
// closing CR LF still fit.
TEST(ComposeLine, OverLongInputStaysInsideTheLine) {
    const std::string prefix = "P: ";
    const std::string long_text(2000, 'x');
    const std::string cut(zephlog::line_size - 1 - prefix.size(), 'x');
    EXPECT_EQ(std::string(compose(prefix, "%1%", long_text.c_str()).c_str()), prefix + cut + "\r\n");
    EXPECT_EQ(std::string(compose(prefix, "%s", long_text.c_str()).c_str()), prefix + cut + "\r\n");
    EXPECT_EQ(std::string(compose(prefix, long_text.c_str()).c_str()), prefix + cut + "\r\n");

    // Two line feeds near the end of a full-length text: both widen beyond the 1023 characters.
    const std::string with_breaks = std::string(1015, 'a') + "\nb\nc" + std::string(500, 'd');
    const entry_line broken = compose(prefix, with_breaks.c_str());
    EXPECT_EQ(broken.line_count, 3);
    EXPECT_EQ(broken.line(0).size(), 1015u);
    EXPECT_EQ(broken.line(1), "b");
    EXPECT_EQ(broken.line(2), "c" + std::string(1023 - 3 - 1015 - 4, 'd'));
    EXPECT_EQ(std::string(broken.c_str()).size(), 1023u + 6 + 2);
}

TEST(ComposeLine, OverLongPrefixLeavesNoRoomForTheMessage) {
    const std::string prefix(1500, 'p');
    const entry_line line = compose(prefix, "message");
    EXPECT_EQ(std::string(line.c_str()), std::string(1023, 'p') + "\r\n");
    EXPECT_EQ(line.line_count, 1);
    EXPECT_EQ(line.line(0), "");
}

}  // namespace

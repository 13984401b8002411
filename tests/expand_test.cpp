// The template expander against the rules of the system message formatter.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

namespace {

using zephlog::platform::expand_inserts;

const std::array<std::string_view, 9> fields{"26", "12", "11", "07", "38", "26", "P", "00042", "ERROR    "};

std::optional<std::string> expand(std::string_view tmpl) {
    std::string out;
    if (!expand_inserts(tmpl, fields, out)) return std::nullopt;
    return out;
}

struct expansion_case {
    std::string_view tmpl;
    std::optional<std::string> expected;  // nullopt: the expansion fails
};

class ExpandTest : public testing::TestWithParam<expansion_case> {};

TEST_P(ExpandTest, FollowsTheFormatterRules) {
    EXPECT_EQ(expand(GetParam().tmpl), GetParam().expected) << "template: " << GetParam().tmpl;
}

INSTANTIATE_TEST_SUITE_P(Rules, ExpandTest, testing::Values(
    expansion_case{"%1/%2/%3 %4:%5:%6%7 %8 %9: ", "26/12/11 07:38:26P 00042 ERROR    : "},
    expansion_case{"x%%y", "x%y"},
    expansion_case{"a%nb", "a\r\nb"},
    expansion_case{"a%0b", "a"},
    expansion_case{"%1!5s!|", "   26|"},
    expansion_case{"%1!-4s!|", "26  |"},
    expansion_case{"%9!.3s!|%9!-6.2s!|", "ERR|ER    |"},
    expansion_case{"%1!05s!|%1! 005s!|%1!-05s!|%7!03.0s!", "00026|00026|26   |000"},  // the '0' flag
    expansion_case{"t%tx%rY%.%!% z", "t\tx\rY.! z"},
    expansion_case{"%x", "x"},
    expansion_case{"line1\nline2\rline3\r\nend", "line1\r\nline2\r\nline3\r\nend"},
    expansion_case{"%8%8 %3", "0004200042 11"},
    expansion_case{"%1%2 %3", "2612 11"},
    expansion_case{"%09", std::nullopt},         // %0 ends the output before anything was written
    expansion_case{"", std::nullopt},            // an empty result counts as failure
    expansion_case{"%", std::nullopt},
    expansion_case{"ab%", std::nullopt},
    expansion_case{"%1!5s", std::nullopt},       // unclosed conversion
    expansion_case{"%10", std::nullopt},         // never reads past the nine fields
    expansion_case{"%100", std::nullopt},        // two digits at most: insert 10, then "0"
    expansion_case{"%99!s!", std::nullopt},
    expansion_case{"%1!d!", std::nullopt},       // a string is never read as a number
    expansion_case{"%1!*s!", std::nullopt},      // a width from the argument list would read past it
    expansion_case{"%1!5000s!", std::nullopt}));  // wider than any entry line

}  // namespace

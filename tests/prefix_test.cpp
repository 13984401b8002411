// The nine prefix fields and the expansion of the template.
#include "compose/prefix.h"

#include "zephlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using zephlog::prefix_fields;
using zephlog::prefix_strings;
using zephlog::platform::local_time;

template <std::size_t N>
void put(std::array<char, N> &buffer, const char *text) {
    std::strncpy(buffer.data(), text, N - 1);
}

prefix_strings strings_with(const char *tmpl, const char *am = "A", const char *pm = "P") {
    prefix_strings strings;
    put(strings.prefix_template, tmpl);
    put(strings.am_marker, am);
    put(strings.pm_marker, pm);
    const char *labels[] = {"INFO", "WARNING", "ERROR", "A-LONG-LABEL", "", "FATAL"};
    for (int type = 0; type < zephlog::type_count; ++type) put(strings.type_labels[type], labels[type]);
    return strings;
}

// All nine fields, separated so that each one's exact text shows.
constexpr const char *all_fields = "%1|%2|%3|%4|%5|%6|%7|%8|%9|";

std::string prefix_of(const prefix_strings &strings, int type, std::uint16_t number, const local_time &time) {
    return zephlog::expand_prefix(strings, prefix_fields(strings, type, number, time));
}

struct field_case {
    const char *name;
    local_time time;
    int type;
    std::uint16_t number;
    const char *am;
    const char *expected;
};

TEST(PrefixFields, FormatsEveryField) {
    const field_case cases[] = {
        {"midnight shows 12 with the AM marker", {2010, 1, 2, 0, 5, 9}, 0, 42, "A", "10|01|02|12|05|09|A|00042|INFO     |"},
        {"noon shows 12 with the PM marker", {2026, 12, 31, 12, 0, 0}, 1, 0, "A", "26|12|31|12|00|00|P|00000|WARNING  |"},
        {"13h shows 01", {1999, 7, 4, 13, 59, 60}, 2, 65535, "A", "99|07|04|01|59|60|P|65535|ERROR    |"},
        {"23h shows 11", {2000, 2, 29, 23, 1, 1}, 2, 7, "A", "00|02|29|11|01|01|P|00007|ERROR    |"},
        {"a label over nine characters is cut", {2038, 1, 19, 3, 14, 7}, 3, 1, "A", "38|01|19|03|14|07|A|00001|A-LONG-LA|"},
        {"an empty label is nine spaces", {2038, 1, 19, 3, 14, 7}, 4, 1, "A", "38|01|19|03|14|07|A|00001|         |"},
        {"only the marker's first character shows", {2038, 1, 19, 3, 14, 7}, 0, 1, "Morning", "38|01|19|03|14|07|M|00001|INFO     |"},
        {"an empty marker shows nothing", {2038, 1, 19, 3, 14, 7}, 0, 1, "", "38|01|19|03|14|07||00001|INFO     |"},
    };
    for (const field_case &c : cases) {
        EXPECT_EQ(prefix_of(strings_with(all_fields, c.am), c.type, c.number, c.time), c.expected) << c.name;
    }
}

TEST(PrefixExpansion, UsesOnlyTheInsertsTheTemplateNames) {
    const local_time time{2026, 12, 11, 7, 38, 26};
    EXPECT_EQ(prefix_of(strings_with("[%8] %8 %9: "), 2, 42, time), "[00042] 00042 ERROR    : ");
    EXPECT_EQ(prefix_of(strings_with("no inserts "), 2, 42, time), "no inserts ");
}

TEST(PrefixExpansion, EmptyTemplateGivesEmptyPrefix) {
    EXPECT_EQ(prefix_of(strings_with(""), 0, 1, {2026, 1, 1, 0, 0, 0}), "");
}

TEST(PrefixExpansion, FailureThrowsWithOutOfMemoryCode) {
    // An insert beyond the nine fields, a lone '%', and a template that expands to nothing.
    for (const char *tmpl : {"%10", "x%", "%0 never shown"}) {
        try {
            prefix_of(strings_with(tmpl), 0, 1, {2026, 1, 1, 0, 0, 0});
            ADD_FAILURE() << "no exception for " << tmpl;
        } catch (const zephlog::expansion_error &error) {
            EXPECT_EQ(error.code(), 0x8007000Eu) << tmpl;
        }
    }
}

}  // namespace

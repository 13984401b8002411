#include "compose/entry.h"

#include <gtest/gtest.h>

namespace {

// Only the low byte of the argument counts, as a signed character; types outside 0..5 are logged as type 4.
TEST(EntryType, LowByteInRangeOrClampedToTheHighestNonFatalType) {
    const std::pair<int, int> cases[] = {{0, 0}, {4, 4}, {5, 5}, {0x105, 5}, {0x7F00, 0}, {6, 4},
                                         {127, 4}, {-1, 4}, {0x80, 4}, {0xFF, 4}};
    for (const auto &[argument, type] : cases) EXPECT_EQ(zephlog::entry_type_of(argument), type) << argument;
}

}  // namespace

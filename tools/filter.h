// Which records to show.
#pragma once

#include "log_image.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>
#include <vector>

namespace zephlog::tools {

struct record_filter {
    std::vector<int> types;             // empty: every type
    std::vector<std::uint16_t> numbers;  // empty: every number
    std::optional<std::int64_t> since;  // seconds since 1970, inclusive
    std::optional<std::int64_t> until;  // inclusive

    bool matches(const store::log_record &record) const;
};

// The records that pass `filter`, oldest first, then only the last `last` of them when given.
std::vector<kept_record> select(std::vector<kept_record> records, const record_filter &filter,
                                std::optional<std::size_t> last);

// A point in time as people write it, in local time: "2026-12-11 08:30[:05]" (or with a T), "2026-12-11",
// "08:30[:05]" (today), "today", "yesterday", "now", "-15m" / "+2h" (s, m, h, d from now), "@1765441800".
// Returns nothing when `text` is none of these.
std::optional<std::int64_t> parse_time(std::string_view text, std::time_t now);

}  // namespace zephlog::tools

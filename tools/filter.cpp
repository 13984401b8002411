#include "filter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace zephlog::tools {
namespace {

std::optional<std::int64_t> parse_integer(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return {};
    return value;
}

std::optional<std::int64_t> parse_offset(std::string_view text, std::time_t now) {
    const int sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
    if (text.empty()) return {};
    std::int64_t unit = 1;
    switch (text.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: return {};
    }
    text.remove_suffix(1);
    const auto count = parse_integer(text);
    if (!count || *count < 0 || *count > std::int64_t{100} * 365 * 86400 / unit) return {};
    return now + sign * *count * unit;
}

std::int64_t local_midnight(std::time_t now, int days_from_today) {
    std::tm parts = *std::localtime(&now);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_mday += days_from_today;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// Date and time forms; the whole text must match one of them.
std::optional<std::int64_t> parse_calendar(std::string_view text, std::time_t now) {
    const std::string copy(text);
    std::tm parts = *std::localtime(&now);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = -1;
    auto whole = [&](const char *pattern, int fields, auto &...out) {
        used = -1;
        return std::sscanf(copy.c_str(), pattern, &out..., &used) == fields && used == static_cast<int>(copy.size());
    };
    if (whole("%4d-%2d-%2d%*1[ T]%2d:%2d:%2d%n", 6, year, month, day, hour, minute, second) ||
        whole("%4d-%2d-%2d%*1[ T]%2d:%2d%n", 5, year, month, day, hour, minute) ||
        whole("%4d-%2d-%2d%n", 3, year, month, day)) {
        if (month < 1 || month > 12 || day < 1 || day > 31) return {};
        parts.tm_year = year - 1900;
        parts.tm_mon = month - 1;
        parts.tm_mday = day;
    } else if (!whole("%2d:%2d:%2d%n", 3, hour, minute, second) && !whole("%2d:%2d%n", 2, hour, minute)) {
        return {};
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) return {};
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

}  // namespace

bool record_filter::matches(const store::log_record &record) const {
    auto listed = [](const auto &list, auto value) {
        return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
    };
    return listed(types, int{record.entry_type}) && listed(numbers, record.error_number) &&
           (!since || record.entry_time >= *since) && (!until || record.entry_time <= *until);
}

std::vector<kept_record> select(std::vector<kept_record> records, const record_filter &filter,
                                std::optional<std::size_t> last) {
    std::erase_if(records, [&](const kept_record &entry) { return !filter.matches(entry.record); });
    if (last && *last < records.size()) {
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(*last));
    }
    return records;
}

std::optional<std::int64_t> parse_time(std::string_view text, std::time_t now) {
    if (text.empty()) return {};
    if (text == "now") return now;
    if (text == "today") return local_midnight(now, 0);
    if (text == "yesterday") return local_midnight(now, -1);
    if (text == "tomorrow") return local_midnight(now, 1);
    if (text.front() == '@') return parse_integer(text.substr(1));
    if (text.front() == '-' || text.front() == '+') return parse_offset(text, now);
    return parse_calendar(text, now);
}

}  // namespace zephlog::tools

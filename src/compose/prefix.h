// The entry prefix: the date, time, number and type label of an entry, laid out by the application's template.
#pragma once

#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zephlog {

inline constexpr int type_count = 6;
inline constexpr int fatal_type = 5;

// The nine strings of the application's module, loaded at every call. Each buffer size includes the NUL.
struct prefix_strings {
    static constexpr unsigned first_id = 42054;  // the template; the markers and the six labels follow in order

    std::array<char, 80> prefix_template{};
    std::array<char, 20> am_marker{};
    std::array<char, 20> pm_marker{};
    std::array<std::array<char, 20>, type_count> type_labels{};
};

prefix_strings load_prefix_strings(platform::module_handle module);

// The nine inserts of the template, in insert order: year, month, day, hour (1 to 12), minute, second, half-day
// marker, number, type label.
class prefix_fields {
public:
    static constexpr std::size_t count = 9;

    // `entry_type` must lie in 0..5.
    prefix_fields(const prefix_strings &strings, int entry_type, std::uint16_t error_number,
                  const platform::local_time &time);

    std::array<std::string_view, count> inserts() const;

private:
    static constexpr std::size_t longest = 9;  // the type label

    void set(std::size_t field, std::string_view text);

    std::array<std::array<char, longest>, count> text_{};
    std::array<std::uint8_t, count> length_{};
};

// Expands the template with the fields; empty for an empty template. Throws expansion_error when the expansion
// fails or gives nothing.
std::string expand_prefix(const prefix_strings &strings, const prefix_fields &fields);

}  // namespace zephlog

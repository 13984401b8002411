#include "compose/prefix.h"

#include "zephlog.h"

#include <algorithm>

namespace zephlog {
namespace {

// "%02d" for the values 0..99 that the time fields take.
std::array<char, 2> two_digits(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// "%05u": at least five digits; a 16-bit number never needs more.
std::array<char, 5> five_digits(unsigned value) {
    std::array<char, 5> digits{};
    for (auto it = digits.rbegin(); it != digits.rend(); ++it, value /= 10) *it = static_cast<char>('0' + value % 10);
    return digits;
}

std::string_view view(const std::array<char, 2> &digits) { return {digits.data(), digits.size()}; }

std::string_view c_string(std::span<const char> buffer) {
    return {buffer.data(), static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), '\0') - buffer.begin())};
}

}  // namespace

prefix_strings load_prefix_strings(platform::module_handle module) {
    prefix_strings strings;
    std::array<platform::string_request, 3 + type_count> requests{{
        {prefix_strings::first_id, strings.prefix_template},
        {prefix_strings::first_id + 1, strings.am_marker},
        {prefix_strings::first_id + 2, strings.pm_marker},
    }};
    for (int type = 0; type < type_count; ++type) {
        requests[3 + type] = {prefix_strings::first_id + 3 + type, strings.type_labels[type]};
    }
    platform::load_strings(module, requests);
    return strings;
}

prefix_fields::prefix_fields(const prefix_strings &strings, int entry_type, std::uint16_t error_number,
                             const platform::local_time &time) {
    const int hour12 = time.hour % 12 == 0 ? 12 : time.hour % 12;
    const std::string_view marker = c_string(time.hour < 12 ? strings.am_marker : strings.pm_marker);
    const auto number = five_digits(error_number);

    set(0, view(two_digits(time.year % 100)));
    set(1, view(two_digits(time.month)));
    set(2, view(two_digits(time.day)));
    set(3, view(two_digits(hour12)));
    set(4, view(two_digits(time.minute)));
    set(5, view(two_digits(time.second)));
    set(6, marker.substr(0, 1));                                    // "%1.1s"
    set(7, {number.data(), number.size()});                         // "%05u"
    const std::string_view label = c_string(strings.type_labels[entry_type]).substr(0, longest);
    set(8, label);                                                  // "%-9.9s": cut, then filled with spaces
    std::fill(text_[8].begin() + label.size(), text_[8].end(), ' ');
    length_[8] = longest;
}

void prefix_fields::set(std::size_t field, std::string_view text) {
    std::copy(text.begin(), text.end(), text_[field].begin());
    length_[field] = static_cast<std::uint8_t>(text.size());
}

std::array<std::string_view, prefix_fields::count> prefix_fields::inserts() const {
    std::array<std::string_view, count> views;
    for (std::size_t field = 0; field < count; ++field) views[field] = {text_[field].data(), length_[field]};
    return views;
}

std::string expand_prefix(const prefix_strings &strings, const prefix_fields &fields) {
    const std::string_view tmpl = c_string(strings.prefix_template);
    std::string prefix;
    if (tmpl.empty()) return prefix;
    const auto inserts = fields.inserts();
    if (!platform::expand_template(tmpl, inserts, prefix)) throw expansion_error();
    return prefix;
}

}  // namespace zephlog

// One logging call, from the caller's arguments to the stored entry.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace zephlog {

// The entry type carried in the low byte of the caller's argument; types outside 0..5 become 4, the highest
// non-fatal type, so that a wrong type neither loses the entry nor ends the process.
int entry_type_of(int argument);

std::int32_t log_entry(int type_argument, int number_argument, const char *message, std::va_list args);

}  // namespace zephlog

// One logging call, from the caller's arguments to the stored entry.
#pragma once

#include "store/writer.h"

#include <cstdarg>
#include <cstdint>

namespace zephlog {

// The entry type carried in the low byte of the caller's argument; types outside 0..5 become 4, the highest
// non-fatal type, so that a wrong type neither loses the entry nor ends the process.
int entry_type_of(int argument);

// One call of dll_zeph_log_error: composes the entry and, unless it is fatal, stores it at `destination`.
// Returns the entry's time, the value stored in its record.
std::int32_t log_entry(const store::log_destination &destination, int type_argument, int number_argument,
                       const char *message, std::va_list args);

}  // namespace zephlog

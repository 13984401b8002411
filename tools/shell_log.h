// Logging an entry from a shell script, as logger(1) does for syslog.
#pragma once

#include "compose/line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zephlog::tools {

// At most this many arguments reach the library, as many as a positional message can take.
inline constexpr std::size_t max_shell_arguments = max_positional_args;

// How many string arguments `message` consumes in the mode the library picks for it: one per key %1%, %2%, ...
// (positional), one per %s (printf), none (word for word). Throws std::invalid_argument for a printf message with
// a conversion other than %s: the shell hands over only strings, and the library would read them as numbers.
std::size_t arguments_taken(std::string_view message);

// A logging call with the library's signature: dll_zeph_log_error, or in tests one that logs elsewhere.
using log_call = std::int32_t (*)(int entry_type, int error_number, const char *message, ...);

// Stores one entry through `log` and returns its time. Throws std::invalid_argument, having logged nothing, when
// `args` are not exactly what the message takes. Type 5 shows the fatal box and ends the process (status 255).
std::int32_t log_from_shell(int type, int number, const std::string &message, const std::vector<std::string> &args,
                            log_call log);

}  // namespace zephlog::tools

#include "shell_log.h"

#include "compose/line.h"

#include <array>
#include <cctype>
#include <stdexcept>

namespace zephlog::tools {
namespace {

// Counts the %s conversions; anything else but %% is refused.
std::size_t string_conversions(std::string_view message) {
    const std::optional<std::size_t> count = printf_string_conversions(message);
    if (!count) {
        throw std::invalid_argument(
            "a printf-style message takes only %s conversions from the shell (flags, width and precision "
            "allowed); write %% for a percent sign, or use positional %1%, %2%, ...");
    }
    return *count;
}

}  // namespace

std::size_t arguments_taken(std::string_view message) {
    switch (choose_mode(message)) {
    case message_mode::positional: return static_cast<std::size_t>(positional_argument_count(message));
    case message_mode::printf: return string_conversions(message);
    case message_mode::verbatim: return 0;
    }
    return 0;
}

std::int32_t log_from_shell(int type, int number, const std::string &message, const std::vector<std::string> &args,
                            log_call log) {
    const std::size_t taken = arguments_taken(message);
    if (taken > max_shell_arguments) {
        throw std::invalid_argument("the message takes " + std::to_string(taken) + " arguments, more than " +
                                    std::to_string(max_shell_arguments));
    }
    if (args.size() != taken) {
        throw std::invalid_argument("the message takes " + std::to_string(taken) + " argument(s), " +
                                    std::to_string(args.size()) + " given");
    }
    // A variadic call cannot be built at run time, so every call passes all twenty slots; the library reads only
    // the first `taken`, all of them real strings.
    std::array<const char *, max_shell_arguments> a;
    a.fill("");
    for (std::size_t i = 0; i < args.size(); ++i) a[i] = args[i].c_str();
    return log(type, number, message.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10],
               a[11], a[12], a[13], a[14], a[15], a[16], a[17], a[18], a[19]);
}

}  // namespace zephlog::tools

// The library's two entry points and its module state.
#include "compose/entry.h"

#include "zephlog.h"

#include "compose/line.h"
#include "compose/prefix.h"
#include "platform/platform.h"

#include <array>
#include <atomic>
#include <cstdarg>
#include <mutex>
#include <span>
#include <string_view>

namespace zephlog {
namespace {

std::atomic<platform::module_handle> resource_module{nullptr};

// Serialises whole calls, so that threads of one process may log at once. It is never held while the process
// ends: exit handlers may log.
std::mutex call_lock;

struct va_guard {
    std::va_list &args;
    ~va_guard() { va_end(args); }
};

// The message lines of the entry line, as the store takes them.
std::span<const std::string_view> message_lines(const entry_line &line,
                                                std::array<std::string_view, max_lines> &lines) {
    for (int i = 0; i < line.line_count; ++i) lines[static_cast<std::size_t>(i)] = line.line(i);
    return std::span<const std::string_view>(lines).first(static_cast<std::size_t>(line.line_count));
}

}  // namespace

int entry_type_of(int argument) {
    const auto type = static_cast<signed char>(argument & 0xFF);
    return type >= 0 && type < type_count ? type : fatal_type - 1;
}

std::int32_t log_entry(const store::log_destination &destination, int type_argument, int number_argument,
                       const char *message, std::va_list args) {
    const int entry_type = entry_type_of(type_argument);
    const auto error_number = static_cast<std::uint16_t>(number_argument);
    entry_line line;
    std::unique_lock lock(call_lock);
    const std::int32_t entry_time = platform::clock_now();
    const prefix_strings strings = load_prefix_strings(resource_module.load());
    const prefix_fields fields(strings, entry_type, error_number, platform::to_local_time(entry_time));
    compose_line(line, expand_prefix(strings, fields), message, args);
    if (entry_type == fatal_type) {
        lock.unlock();
        platform::fatal_exit(line.c_str());
    }
    std::array<std::string_view, max_lines> lines;
    const store::log_record record =
        store::make_record(entry_time, entry_type, error_number, message_lines(line, lines));
    if (!store::store_record(destination, record)) {
        lock.unlock();
        platform::fatal_exit("Error opening error log file");
    }
    return entry_time;
}

}  // namespace zephlog

extern "C" ZEPHLOG_API void ZEPHLOG_CALL dll_set_zeph_log_inst(zephlog_module module) {
    zephlog::resource_module.store(module);
}

extern "C" ZEPHLOG_API std::int32_t ZEPHLOG_CALL dll_zeph_log_error(int entry_type, int error_number,
                                                                    const char *message, ...) {
    std::va_list args;
    va_start(args, message);
    zephlog::va_guard guard{args};
    return zephlog::log_entry(zephlog::store::system_log(), entry_type, error_number, message, args);
}

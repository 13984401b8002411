/*
 * zephlog: the error log shared by every process on the machine.
 *
 * Each call of dll_zeph_log_error composes one entry line (a prefix built from the strings of the module named by
 * dll_set_zeph_log_inst, then the message, cut to three lines) and stores it as one record in the circular log
 * file. An entry of type 5 is fatal: its line is shown in a box captioned "Fatal Error" and the process ends with
 * exit code -1; it is not stored.
 *
 * This header compiles as C and as C++.
 */
#ifndef ZEPHLOG_H
#define ZEPHLOG_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(ZEPHLOG_BUILDING)
#    define ZEPHLOG_API __declspec(dllexport)
#  else
#    define ZEPHLOG_API __declspec(dllimport)
#  endif
#  define ZEPHLOG_CALL __cdecl
#else
#  define ZEPHLOG_API __attribute__((visibility("default")))
#  define ZEPHLOG_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A module whose string table holds the strings 42054 to 42062: the prefix template, the two half-day markers and
 * the six type labels. On Windows it is the module's HINSTANCE; elsewhere it is the handle dlopen returned for the
 * module. NULL stands for the program itself. See zephlog_strings.h for how a module defines its strings.
 */
typedef void *zephlog_module;

/* Names the module whose strings later calls use; the last call wins. Until it is called, NULL is used. */
ZEPHLOG_API void ZEPHLOG_CALL dll_set_zeph_log_inst(zephlog_module module);

/*
 * Logs one entry and returns its time in seconds since 1970-01-01 00:00:00 UTC, the value stored in its record.
 *
 * entry_type:   only the low byte is read, as a signed character: 0 to 4 are logged, 5 is fatal (the call does not
 *               return). Any other value is logged as type 4, the highest non-fatal type.
 * error_number: only the low 16 bits are read; shown as five digits.
 * message:      never NULL. Its mode follows from its text:
 *               - it contains "%1%": positional, Boost.Format syntax; each of %1%, %2%, ... (numbered without a gap,
 *                 at most 20) takes one more argument, a NUL-terminated string;
 *               - otherwise it contains "%1": logged word for word, no argument is read;
 *               - otherwise it contains "%": printf rules, with arguments to match;
 *               - otherwise: logged word for word.
 *               Line feeds break the text into lines; a fourth line and everything after it are dropped.
 *
 * Calls from several threads are safe; they are serialised inside the library.
 * For C++ callers, a call may throw (always before the log file is touched):
 * - zephlog::expansion_error when the prefix template cannot be expanded;
 * - boost::io::format_error (bad_format_string, too_few_args, too_many_args) for a bad positional message;
 * - std::bad_alloc.
 * A log file that cannot be opened shows the box "Error opening error log file" and ends the process with -1.
 */
ZEPHLOG_API int32_t ZEPHLOG_CALL dll_zeph_log_error(int entry_type, int error_number, const char *message, ...);

#ifdef __cplusplus
} /* extern "C" */

#include <cstdint>
#include <stdexcept>

#if defined(_WIN32)
#  define ZEPHLOG_TYPE_API
#else
#  define ZEPHLOG_TYPE_API __attribute__((visibility("default")))
#endif

namespace zephlog {

/* The prefix template could not be expanded, or expanded to nothing. code() is E_OUTOFMEMORY (0x8007000E). */
class ZEPHLOG_TYPE_API expansion_error : public std::runtime_error {
public:
    static constexpr std::uint32_t e_outofmemory = 0x8007000Eu;

    expansion_error() : std::runtime_error("zephlog: the prefix template could not be expanded") {}
    std::uint32_t code() const noexcept { return e_outofmemory; }
};

} /* namespace zephlog */
#endif /* __cplusplus */

#endif /* ZEPHLOG_H */

// The services zephlog takes from the operating system. Everything OS-specific lives behind this header:
// posix.cpp and win.cpp implement it, one per OS; the rest of the library never includes an OS header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zephlog::platform {

// A module whose string table the library reads (HINSTANCE on Windows, a dlopen handle elsewhere).
// Null stands for the program itself.
using module_handle = void *;

// --- String resources -------------------------------------------------------------------------------------------

struct string_request {
    unsigned id;
    std::span<char> buffer;  // receives the string, cut to its size less one, NUL-terminated; empty when absent
};

// Loads each requested string of `module`. A string the module lacks, a module without strings and an invalid
// handle all give empty strings.
void load_strings(module_handle module, std::span<const string_request> requests);

// --- Template expansion -----------------------------------------------------------------------------------------

// Expands `tmpl` with the system message formatter's insert syntax (%1..%99, %n!fmt!, %0, %n, %r, %t, and the
// escapes), line breaks written as CR LF. Returns false when the expansion fails: a bad escape, an insert beyond
// `inserts`, or an empty result.
bool expand_template(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out);

// The portable expander behind expand_template on POSIX; also what the Windows build is checked against.
bool expand_inserts(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out);

// --- Clock ------------------------------------------------------------------------------------------------------

// Seconds since 1970-01-01 00:00:00 UTC as a signed 32-bit number; -1 once that no longer fits.
std::int32_t clock_now();

struct local_time {
    int year;    // e.g. 2026
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..60
};

// The local time of `time`, in the process's time zone.
local_time to_local_time(std::int32_t time);

// --- Ending the process -----------------------------------------------------------------------------------------

// Shows `text` in an error box captioned "Fatal Error", waits for the user where one can answer, then ends the
// process with exit(-1) so that its exit handlers run.
[[noreturn]] void fatal_exit(const char *text);

// --- The locked-file library ------------------------------------------------------------------------------------

// An open, locked file. Opaque to the rest of the library.
struct cc_file;

// Opens `path` and holds a lock on it until cc_lock_close. `mode` letters: R read, W write, B binary (no
// translation; always so on POSIX), C create when missing. A mode with W takes an exclusive lock, one without W a
// shared one. The wait for a lock held by another opener never gives up: a holder keeps it for one store only,
// and a holder that dies releases it.
//   create_permissions  the owner's rights on a file this call creates, as in chmod (384 = 0600: read and write);
//                       the file's group gets the same rights, whatever the umask, so that a group-shared log
//                       directory works; others get none.
//   retry_pause_ms      the pause between attempts when the system is short of resources (descriptors, lock
//                       records, memory); 41 in the library's calls.
//   retry_limit_ms      how long such attempts go on before the open fails; 1000 in the library's calls.
// A symbolic link as the file's last path component is refused, so that a member of the directory's group cannot
// point another user's writes at a file of that user's.
// Returns null when the file cannot be had: missing directory, no permission, or resources still short.
cc_file *cc_lock_open_ex2(const char *path, const char *mode, int create_permissions, int retry_pause_ms,
                          int retry_limit_ms);

// Moves to `offset` from the start (origin 0), the current offset (1) or the end (2), also beyond the end.
// Negative on failure (a negative resulting offset included), 0 on success.
long CCFSEEK(cc_file *file, long offset, int origin);

// Reads up to size * count bytes at the current offset; returns the number of whole items read. At the end of
// the file it reads nothing; bytes of a last, incomplete item do reach the buffer.
std::size_t CCFREADBASE(void *buffer, std::size_t size, std::size_t count, cc_file *file);

// Writes size * count bytes at the current offset, extending the file when needed; returns the items written.
std::size_t CCFWRITEBASE(const void *buffer, std::size_t size, std::size_t count, cc_file *file);

// Releases the lock and closes the file; the handle is invalid afterwards. The written bytes are in the file for
// every later reader; they are not forced to the disk. Returns 0, or -1 when the close reported an error.
int cc_lock_close(cc_file *file);

// The five functions as a table, so that tests can replace any of them to inject a failure.
struct locked_file_ops {
    decltype(&cc_lock_open_ex2) open;
    decltype(&CCFSEEK) seek;
    decltype(&CCFREADBASE) read;
    decltype(&CCFWRITEBASE) write;
    decltype(&cc_lock_close) close;
};

inline constexpr locked_file_ops system_file_ops{cc_lock_open_ex2, CCFSEEK, CCFREADBASE, CCFWRITEBASE,
                                                 cc_lock_close};

}  // namespace zephlog::platform

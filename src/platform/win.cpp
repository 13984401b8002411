// The platform layer on Windows: the system's own string loader, message formatter, error box, C runtime clock
// and file locks.
//
// String tables: a module's strings are its STRINGTABLE resource (an .rc file compiled into it); a module handle
// is its HINSTANCE, null the program itself.
#include "platform/platform.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <string>

namespace zephlog::platform {
namespace {

// The system formatter reads one argument per insert number, whatever the list holds: an insert beyond the list
// reads past it. It is only ever given templates that the portable expander accepted, which refuses such inserts
// (and conversions that would read a string as a number), with at most this many inserts.
constexpr std::size_t max_inserts = 9;

bool format_message(const char *tmpl, std::span<const std::string_view> inserts, std::string &out) {
    std::array<std::string, max_inserts> texts;  // the formatter wants NUL-terminated strings
    std::array<DWORD_PTR, max_inserts> arguments{};
    for (std::size_t i = 0; i < inserts.size(); ++i) {
        texts[i] = inserts[i];
        arguments[i] = reinterpret_cast<DWORD_PTR>(texts[i].c_str());
    }
    char *result = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, tmpl, 0, 0,
        reinterpret_cast<char *>(&result), 0, reinterpret_cast<va_list *>(arguments.data()));
    if (result == nullptr) return false;
    std::unique_ptr<char, decltype(&LocalFree)> owned(result, &LocalFree);  // freed as soon as it is copied
    out.assign(result, length);
    return length != 0;
}

}  // namespace

void load_strings(module_handle module, std::span<const string_request> requests) {
    for (const string_request &request : requests) {
        if (request.buffer.empty()) continue;
        request.buffer[0] = '\0';  // stays empty when the module lacks the string
        LoadStringA(static_cast<HINSTANCE>(module), request.id, request.buffer.data(),
                    static_cast<int>(request.buffer.size()));
    }
}

bool expand_template(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out) {
    if (inserts.size() > max_inserts || !expand_inserts(tmpl, inserts, out)) return false;
    return format_message(std::string(tmpl).c_str(), inserts, out);
}

#ifndef ZEPHLOG_SEQUENCED_CLOCK  // test builds with a clock of their own (tests/sequenced_clock.cpp)
// The runtime's 32-bit clock, taken from its 64-bit one: mingw-w64's x86-64 runtime has no _time32. Like the
// 32-bit clock, it gives -1 once the time no longer fits.
std::int32_t clock_now() {
    const __time64_t now = _time64(nullptr);
    if (now < 0 || now > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(now);
}
#endif

local_time to_local_time(std::int32_t time) {
    // The runtime refuses times before 1970, the clock's -1 among them. The calendar repeats every 400 years, so
    // such a time is broken down 400 years later and its year moved back, as other systems show it.
    constexpr __time64_t four_centuries = 146097LL * 24 * 60 * 60;
    constexpr int four_centuries_years = 400;
    __time64_t value = time;
    int year_shift = 0;
    std::tm parts{};
    _tzset();
    if (_localtime64_s(&parts, &value) != 0) {
        value += four_centuries;
        year_shift = four_centuries_years;
        if (_localtime64_s(&parts, &value) != 0) parts = std::tm{};
    }
    return {parts.tm_year + 1900 - year_shift, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
            parts.tm_sec};
}

void fatal_exit(const char *text) {
    static constexpr const char *caption = "Fatal Error";
    // As on other systems the text also reaches standard error, for programs run from a console or a script. It
    // is written as it is: the entry line already ends in CR LF, which the runtime's text mode would widen again.
    std::string line = std::string(caption) + ": " + text;
    if (line.back() != '\n') line += '\n';
    std::fflush(stderr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    // The box waits for the user; without a display (Wine in CI) it returns at once.
    MessageBoxA(nullptr, text, caption, MB_TASKMODAL | MB_ICONERROR);
    std::exit(-1);
}

// --- The locked-file library ------------------------------------------------------------------------------------
//
// The lock is a byte-range lock over the whole possible file, taken with LockFileEx on the handle: exclusive for
// a mode with W, shared otherwise. It excludes every other handle, of this process or another, and the system
// drops it when the handle is closed or its process ends, so a crashed holder leaves nothing behind. The wait for
// the lock never gives up. `create_permissions` has no meaning here: a new file gets the directory's default
// access rights. The open is retried every `retry_pause_ms` for up to `retry_limit_ms` while the system is short
// of resources or a program outside the library holds the file without sharing it.

struct cc_file {
    HANDLE handle;
};

namespace {

struct open_mode {
    DWORD access = 0;
    DWORD creation = OPEN_EXISTING;
    DWORD lock_flags = 0;
};

open_mode parse_mode(const char *mode) {
    open_mode parsed;
    if (std::strchr(mode, 'R') != nullptr) parsed.access |= GENERIC_READ;
    if (std::strchr(mode, 'W') != nullptr) {
        parsed.access |= GENERIC_WRITE;
        parsed.lock_flags = LOCKFILE_EXCLUSIVE_LOCK;
    }
    if (std::strchr(mode, 'C') != nullptr) parsed.creation = OPEN_ALWAYS;
    return parsed;
}

// An open handle holding the lock, or INVALID_HANDLE_VALUE with the thread's last error set.
HANDLE open_locked(const char *path, const open_mode &mode) {
    const HANDLE handle = CreateFileA(path, mode.access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, mode.creation,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    OVERLAPPED from_start{};
    if (LockFileEx(handle, mode.lock_flags, 0, MAXDWORD, MAXDWORD, &from_start)) return handle;
    const DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// Failures that go away when others give back what they hold; anything else will not.
bool worth_retrying(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_TOO_MANY_OPEN_FILES ||
           error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY || error == ERROR_NO_SYSTEM_RESOURCES;
}

// The byte count of size * count, or false when it does not fit one system call.
bool byte_count(std::size_t size, std::size_t count, DWORD &bytes) {
    if (size == 0 || count > std::numeric_limits<DWORD>::max() / size) return false;
    bytes = static_cast<DWORD>(size * count);
    return true;
}

}  // namespace

cc_file *cc_lock_open_ex2(const char *path, const char *mode, int, int retry_pause_ms, int retry_limit_ms) {
    const open_mode parsed = parse_mode(mode);
    const ULONGLONG give_up = GetTickCount64() + static_cast<ULONGLONG>(std::max(retry_limit_ms, 0));
    for (;;) {
        const HANDLE handle = open_locked(path, parsed);
        if (handle != INVALID_HANDLE_VALUE) {
            auto *file = new (std::nothrow) cc_file{handle};
            if (file == nullptr) CloseHandle(handle);  // a lost handle would keep the lock from every writer
            return file;
        }
        if (!worth_retrying(GetLastError()) || GetTickCount64() >= give_up) return nullptr;
        Sleep(static_cast<DWORD>(std::max(retry_pause_ms, 0)));
    }
}

long CCFSEEK(cc_file *file, long offset, int origin) {
    static constexpr std::array<DWORD, 3> methods{FILE_BEGIN, FILE_CURRENT, FILE_END};
    if (origin < 0 || origin > 2) return -1;  // a move before the start fails in the system call
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    return SetFilePointerEx(file->handle, distance, nullptr, methods[static_cast<std::size_t>(origin)]) ? 0 : -1;
}

std::size_t CCFREADBASE(void *buffer, std::size_t size, std::size_t count, cc_file *file) {
    DWORD bytes = 0;
    DWORD done = 0;
    if (!byte_count(size, count, bytes) || !ReadFile(file->handle, buffer, bytes, &done, nullptr)) {
        return 0;
    }
    return done / size;
}

std::size_t CCFWRITEBASE(const void *buffer, std::size_t size, std::size_t count, cc_file *file) {
    DWORD bytes = 0;
    DWORD done = 0;
    if (!byte_count(size, count, bytes) || !WriteFile(file->handle, buffer, bytes, &done, nullptr)) {
        return 0;
    }
    return done / size;
}

int cc_lock_close(cc_file *file) {
    // Closing the handle would drop the lock too, but only once the system gets round to it; unlocking first
    // lets a waiting process in at once.
    OVERLAPPED from_start{};
    UnlockFileEx(file->handle, 0, MAXDWORD, MAXDWORD, &from_start);
    const bool closed = CloseHandle(file->handle) != 0;
    delete file;
    return closed ? 0 : -1;
}

}  // namespace zephlog::platform

// The library has no application object and does nothing when it is loaded or unloaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

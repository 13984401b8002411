// The platform layer on POSIX systems (Linux with glibc).
//
// String tables: a module defines the exported array `zephlog_string_table` (zephlog_strings.h). A module handle
// is what dlopen returned for the module, null the program itself. The table is looked up in that module only:
// the handle is first checked against the loader's list of loaded objects, so that a stale or invented handle
// gives empty strings instead of a crash, and a table found through the module's dependencies is ignored.
//
// Locked files: an open-file-description lock (F_OFD_SETLKW) on the whole file. It belongs to the descriptor,
// not to the process, so a library inside someone else's process cannot lose it when the process closes another
// descriptor of the same file, two threads that open the file separately exclude each other, and the kernel
// releases it when the holder closes the descriptor or dies. Reads and writes go to the handle's own offset with
// pread and pwrite, so that a seek costs no system call.
#include "platform/platform.h"

#include "zephlog_strings.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>

extern char **environ;

namespace zephlog::platform {

struct cc_file {
    int descriptor;
    off_t offset;  // where the next read or write happens
};

namespace {

// glibc's dlopen handles are the loader's link_map entries: a valid handle is one of them.
link_map *loaded_object(module_handle module) {
    void *program = dlopen(nullptr, RTLD_LAZY);
    if (program == nullptr) return nullptr;
    link_map *first = nullptr;
    const bool listed = dlinfo(program, RTLD_DI_LINKMAP, &first) == 0;
    dlclose(program);
    if (!listed) return nullptr;
    if (module == nullptr) return first;
    for (link_map *object = first; object != nullptr; object = object->l_next) {
        if (static_cast<void *>(object) == module) return object;
    }
    return nullptr;
}

const zephlog_string *string_table_of(module_handle module) {
    link_map *object = loaded_object(module);
    if (object == nullptr) return nullptr;
    void *symbol = dlsym(object, ZEPHLOG_STRING_TABLE_SYMBOL);
    if (symbol == nullptr) return nullptr;
    Dl_info info;
    link_map *owner = nullptr;
    if (dladdr1(symbol, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) == 0 || owner != object) {
        return nullptr;
    }
    return static_cast<const zephlog_string *>(symbol);
}

// Finding a table takes several loader calls per logging call. The answer for a handle changes only when objects
// are loaded or unloaded, which the loader counts; so the last answer is kept with the counts it was found under
// and used again while they are unchanged. A handle that was unloaded since is thus looked up afresh.
struct loader_counts {
    unsigned long long adds = 0;
    unsigned long long subs = 0;
    bool operator==(const loader_counts &) const = default;
};

int read_loader_counts(dl_phdr_info *info, std::size_t size, void *counts) {
    if (size < offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) return -1;
    *static_cast<loader_counts *>(counts) = {info->dlpi_adds, info->dlpi_subs};
    return 1;  // every entry carries the same counts: the first one is enough
}

const zephlog_string *cached_string_table(module_handle module) {
    static std::mutex lock;
    static std::optional<std::pair<loader_counts, module_handle>> last_key;
    static const zephlog_string *last_table = nullptr;
    loader_counts counts;
    if (dl_iterate_phdr(read_loader_counts, &counts) != 1) return string_table_of(module);
    const std::scoped_lock hold(lock);
    const std::pair key{counts, module};
    if (last_key != key) {
        last_table = string_table_of(module);
        last_key = key;
    }
    return last_table;
}

const char *find_string(const zephlog_string *table, unsigned id) {
    for (; table != nullptr && table->id != 0; ++table) {
        if (table->id == id) return table->text;
    }
    return nullptr;
}

void copy_cut(const char *text, std::span<char> buffer) {
    if (buffer.empty()) return;
    const std::size_t length = text == nullptr ? 0 : strnlen(text, buffer.size() - 1);
    std::memcpy(buffer.data(), text == nullptr ? "" : text, length);
    buffer[length] = '\0';
}

bool have_display() {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

// Runs a dialog program and waits for it; false when it could not be started.
bool run_dialog(char *const argv[]) {
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

void show_dialog(const char *caption, const char *text) {
    std::string title = caption;
    std::string body = text;
    std::string zenity_title = "--title=" + title;
    std::string zenity_text = "--text=" + body;
    char *zenity[] = {const_cast<char *>("zenity"), const_cast<char *>("--error"), const_cast<char *>("--no-markup"),
                      zenity_title.data(), zenity_text.data(), nullptr};
    if (run_dialog(zenity)) return;
    char *xmessage[] = {const_cast<char *>("xmessage"), const_cast<char *>("-center"), const_cast<char *>("-title"),
                        title.data(), body.data(), nullptr};
    run_dialog(xmessage);
}

struct open_mode {
    int flags = 0;
    bool create = false;
    short lock_type = F_RDLCK;
};

std::optional<open_mode> parse_mode(const char *letters) {
    bool read = false;
    bool write = false;
    open_mode mode;
    for (; *letters != '\0'; ++letters) {
        read = read || *letters == 'R';
        write = write || *letters == 'W';
        mode.create = mode.create || *letters == 'C';
    }
    if (!read && !write) return std::nullopt;
    mode.flags = (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW;
    mode.lock_type = write ? F_WRLCK : F_RDLCK;
    return mode;
}

// The owner's rights as asked, and the same for the group: the log directory's group is who shares the file.
mode_t shared_permissions(int create_permissions) {
    const auto asked = static_cast<mode_t>(create_permissions) & 0777;
    return asked | (asked & 0700) >> 3;
}

int open_descriptor(const char *path, const open_mode &mode, mode_t permissions) {
    int descriptor = open(path, mode.flags);
    if (descriptor >= 0 || errno != ENOENT || !mode.create) return descriptor;
    descriptor = open(path, mode.flags | O_CREAT | O_EXCL, permissions);
    if (descriptor >= 0) {
        // The creator's umask must not narrow the rights of the other users who share the file.
        static_cast<void>(fchmod(descriptor, permissions));
        return descriptor;
    }
    return errno == EEXIST ? open(path, mode.flags) : -1;  // another process created it first
}

bool lock_descriptor(int descriptor, short lock_type) {
    struct flock lock {};
    lock.l_type = lock_type;
    lock.l_whence = SEEK_SET;  // l_start and l_len 0: the whole file, however long it grows
    while (fcntl(descriptor, F_OFD_SETLKW, &lock) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// An open, locked descriptor, or -1 with errno set.
int open_locked(const char *path, const open_mode &mode, mode_t permissions) {
    const int descriptor = open_descriptor(path, mode, permissions);
    if (descriptor < 0 || lock_descriptor(descriptor, mode.lock_type)) return descriptor;
    const int error = errno;
    close(descriptor);
    errno = error;
    return -1;
}

// Failures that go away when other processes give back what they hold; anything else will not.
bool resources_short(int error) {
    return error == EMFILE || error == ENFILE || error == ENOLCK || error == ENOMEM || error == EINTR;
}

// Moves up to `total` bytes with `call` (pread or pwrite) at the handle's offset, which advances by what moved.
template <typename Call>
std::size_t transfer(cc_file *file, std::size_t total, Call call) {
    std::size_t done = 0;
    while (done < total) {
        const ssize_t moved = call(done, total - done, file->offset + static_cast<off_t>(done));
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) break;
        done += static_cast<std::size_t>(moved);
    }
    file->offset += static_cast<off_t>(done);
    return done;
}

bool item_bytes(std::size_t size, std::size_t count, std::size_t &total) {
    return size != 0 && !__builtin_mul_overflow(size, count, &total);
}

// tzset reads TZ and, without it, stats the zone file: a few microseconds, most of a logging call's composition.
// It runs when TZ differs from what the last run saw, and otherwise at most once per second of the clock, so a
// changed zone file is still seen within a second.
void refresh_time_zone() {
    static std::mutex lock;
    // Never destroyed: exit handlers that run after the library's statics are gone may still log.
    static auto &last_tz = *new std::optional<std::string>();  // nullopt: TZ unset
    static std::time_t last_run = -1;
    const std::scoped_lock hold(lock);
    const char *tz = std::getenv("TZ");
    const std::time_t now = std::time(nullptr);
    const bool same_tz = tz == nullptr ? !last_tz : last_tz && *last_tz == tz;
    if (same_tz && now == last_run) return;
    last_tz = tz == nullptr ? std::nullopt : std::optional<std::string>(tz);
    last_run = now;
    tzset();
}

}  // namespace

void load_strings(module_handle module, std::span<const string_request> requests) {
    const zephlog_string *table = cached_string_table(module);
    for (const string_request &request : requests) copy_cut(find_string(table, request.id), request.buffer);
}

bool expand_template(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out) {
    return expand_inserts(tmpl, inserts, out);
}

#ifndef ZEPHLOG_SEQUENCED_CLOCK  // test builds with a clock of their own (tests/sequenced_clock.cpp)
std::int32_t clock_now() {
    const std::time_t now = std::time(nullptr);
    if (now < 0 || now > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(now);
}
#endif

local_time to_local_time(std::int32_t time) {
    const std::time_t value = time;
    std::tm parts{};
    refresh_time_zone();  // localtime_r does not look at TZ by itself
    localtime_r(&value, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void fatal_exit(const char *text) {
    static constexpr const char *caption = "Fatal Error";
    // The text always reaches standard error; a dialog is shown too where someone can close it.
    std::fprintf(stderr, "%s: %s", caption, text);
    const std::size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
    if (have_display()) show_dialog(caption, text);
    std::exit(-1);
}

// --- Reading the log file back ------------------------------------------------------------------------------------

namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

// Closes the descriptor, and with it the open-file-description lock, on every way out.
struct descriptor {
    int fd;
    ~descriptor() {
        if (fd >= 0) close(fd);
    }
};

// Takes the shared lock over the whole file, retrying while a writer holds it. The writer's exclusive lock is the
// same open-file-description lock, so this excludes it; a process-owned lock would not.
std::error_code lock_shared(int fd, int wait_ms) {
    struct flock lock{};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) return last_error();
        if (std::chrono::steady_clock::now() >= give_up) {
            return std::make_error_code(std::errc::device_or_resource_busy);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {};
}

std::error_code read_up_to(int fd, std::size_t limit, std::vector<std::uint8_t> &bytes) {
    bytes.resize(limit);
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t got = pread(fd, bytes.data() + done, limit - done, static_cast<off_t>(done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return last_error();
        }
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return {};
}

}  // namespace

std::error_code read_file_shared(const char *path, std::size_t limit, int wait_ms, std::vector<std::uint8_t> &bytes) {
    bytes.clear();
    // Non-blocking, so that a FIFO put in the file's place cannot make the open wait forever.
    const descriptor file{open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) return last_error();
    struct stat status{};
    if (fstat(file.fd, &status) != 0) return last_error();
    if (S_ISDIR(status.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    if (!S_ISREG(status.st_mode)) return std::make_error_code(std::errc::invalid_argument);
    if (std::error_code locked = lock_shared(file.fd, wait_ms)) return locked;
    return read_up_to(file.fd, limit, bytes);
}

// --- The locked-file library ------------------------------------------------------------------------------------

cc_file *cc_lock_open_ex2(const char *path, const char *mode, int create_permissions, int retry_pause_ms,
                          int retry_limit_ms) {
    const std::optional<open_mode> parsed = parse_mode(mode);
    if (!parsed) return nullptr;
    using clock = std::chrono::steady_clock;
    std::optional<clock::time_point> give_up;
    for (;;) {
        const int descriptor = open_locked(path, *parsed, shared_permissions(create_permissions));
        if (descriptor >= 0) {
            auto *file = new (std::nothrow) cc_file{descriptor, 0};
            if (file == nullptr) close(descriptor);
            return file;
        }
        if (!resources_short(errno)) return nullptr;
        const clock::time_point now = clock::now();
        if (!give_up) give_up = now + std::chrono::milliseconds(retry_limit_ms);
        if (now >= *give_up) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(retry_pause_ms));
    }
}

long CCFSEEK(cc_file *file, long offset, int origin) {
    off_t base = 0;
    if (origin == 1) {
        base = file->offset;
    } else if (origin == 2) {
        struct stat status {};
        if (fstat(file->descriptor, &status) != 0) return -1;
        base = status.st_size;
    } else if (origin != 0) {
        return -1;
    }
    off_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
    file->offset = target;
    return 0;
}

std::size_t CCFREADBASE(void *buffer, std::size_t size, std::size_t count, cc_file *file) {
    std::size_t total = 0;
    if (!item_bytes(size, count, total)) return 0;
    auto *bytes = static_cast<char *>(buffer);
    return transfer(file, total, [&](std::size_t done, std::size_t left, off_t at) {
               return pread(file->descriptor, bytes + done, left, at);
           }) / size;
}

std::size_t CCFWRITEBASE(const void *buffer, std::size_t size, std::size_t count, cc_file *file) {
    std::size_t total = 0;
    if (!item_bytes(size, count, total)) return 0;
    const auto *bytes = static_cast<const char *>(buffer);
    return transfer(file, total, [&](std::size_t done, std::size_t left, off_t at) {
               return pwrite(file->descriptor, bytes + done, left, at);
           }) / size;
}

int cc_lock_close(cc_file *file) {
    // Closing the only descriptor of the open file description releases its lock.
    const int result = close(file->descriptor);
    delete file;
    return result == 0 ? 0 : -1;
}

}  // namespace zephlog::platform

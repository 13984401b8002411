// The platform layer on POSIX systems (Linux with glibc).
//
// String tables: a module defines the exported array `zephlog_string_table` (zephlog_strings.h). A module handle
// is what dlopen returned for the module, null the program itself. The table is looked up in that module only:
// the handle is first checked against the loader's list of loaded objects, so that a stale or invented handle
// gives empty strings instead of a crash, and a table found through the module's dependencies is ignored.
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
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <thread>

extern char **environ;

namespace zephlog::platform {
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

}  // namespace

void load_strings(module_handle module, std::span<const string_request> requests) {
    const zephlog_string *table = string_table_of(module);
    for (const string_request &request : requests) copy_cut(find_string(table, request.id), request.buffer);
}

bool expand_template(std::string_view tmpl, std::span<const std::string_view> inserts, std::string &out) {
    return expand_inserts(tmpl, inserts, out);
}

std::int32_t clock_now() {
    const std::time_t now = std::time(nullptr);
    if (now < 0 || now > std::numeric_limits<std::int32_t>::max()) return -1;
    return static_cast<std::int32_t>(now);
}

local_time to_local_time(std::int32_t time) {
    const std::time_t value = time;
    std::tm parts{};
    tzset();  // localtime_r does not look at TZ by itself
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
        if (std::chrono::steady_clock::now() >= give_up) return std::make_error_code(std::errc::device_or_resource_busy);
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

}  // namespace zephlog::platform

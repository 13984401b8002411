// What one logging call costs, against the least any store of the same file work can cost.
//
//   store_bench [directory]      (files are created in a new directory below it; default: the temp directory)
//   store_bench --composition N  (N calls of composition alone and nothing else, to run under perf or callgrind)
//
// Prints, per call: the full call (a positional message, a realistic template), composition alone (the same call
// with file operations that do nothing), the writer alone (a record built once, stored each time), and the floor: a minimal store with the same system calls (open, lock,
// read the header, write the record, write the header twice, close). Then entries per second of 1, 2, 4 and 8
// processes logging at once, for the full call and for the floor.
#include "compose/entry.h"
#include "store/format.h"
#include "store/writer.h"
#include "zephlog_strings.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

ZEPHLOG_STRING_TABLE(
    {42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "},
    {42055, "A"}, {42056, "P"},
    {42057, "INFO"}, {42058, "NOTICE"}, {42059, "WARNING"},
    {42060, "ERROR"}, {42061, "SEVERE"}, {42062, "FATAL"})

namespace {

namespace platform = zephlog::platform;
namespace store = zephlog::store;
using clock_type = std::chrono::steady_clock;

std::int32_t log_to(const store::log_destination &destination, int type, int number, const char *message, ...) {
    std::va_list args;
    va_start(args, message);
    const std::int32_t time = zephlog::log_entry(destination, type, number, message, args);
    va_end(args);
    return time;
}

void full_call(const store::log_destination &destination) {
    log_to(destination, 3, 42, "Job %1% failed after %2% tries", "nightly-backup", "3");
}

// File operations that do nothing: what is left of a call is composition.
platform::cc_file *open_nothing(const char *, const char *, int, int, int) {
    static char somewhere;
    return reinterpret_cast<platform::cc_file *>(&somewhere);
}
long seek_nothing(platform::cc_file *, long, int) { return 0; }
std::size_t read_nothing(void *, std::size_t, std::size_t, platform::cc_file *) { return 0; }
std::size_t write_nothing(const void *, std::size_t, std::size_t count, platform::cc_file *) { return count; }
int close_nothing(platform::cc_file *) { return 0; }
constexpr platform::locked_file_ops no_file_ops{open_nothing, seek_nothing, read_nothing, write_nothing,
                                                close_nothing};

// The floor: one store's system calls and nothing else.
void floor_store(const char *path) {
    const int descriptor = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
    if (descriptor < 0) std::abort();
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(descriptor, F_OFD_SETLKW, &lock) != 0) std::abort();
    std::array<std::uint8_t, store::header_size> header{};
    if (pread(descriptor, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) header.fill(0);
    store::log_header h = store::decode_header(header);
    if (!store::header_in_range(h)) h = {};
    store::make_room(h);
    static const std::array<std::uint8_t, store::record_size> record{};
    static_cast<void>(pwrite(descriptor, record.data(), record.size(), static_cast<off_t>(store::slot_offset(h.next_slot))));
    h.next_slot = store::next_slot_after(h.next_slot);
    header = store::encode_header(h);
    static_cast<void>(pwrite(descriptor, header.data(), header.size(), 0));
    static_cast<void>(pwrite(descriptor, header.data(), header.size(), 0));
    close(descriptor);
}

// Microseconds per call of each of `works`, the best of five rounds after a warm-up that fills the ring. The
// rounds take turns, so that a busy moment of the machine does not fall on one of them alone.
std::vector<double> per_call_us(const std::vector<std::function<void()>> &works, int calls) {
    for (const auto &work : works) {
        for (int i = 0; i < 1000; ++i) work();
    }
    std::vector<double> best(works.size(), 1e300);
    for (int round = 0; round < 5; ++round) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = clock_type::now();
            for (int i = 0; i < calls; ++i) works[w]();
            const std::chrono::duration<double, std::micro> took = clock_type::now() - start;
            best[w] = std::min(best[w], took.count() / calls);
        }
    }
    return best;
}

// Entries per second of `processes` processes, each running `work` `calls` times, all started at once.
double entries_per_second(const std::function<void()> &work, int processes, int calls) {
    int start[2];
    if (pipe(start) != 0) std::abort();
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            close(start[1]);
            char go;
            static_cast<void>(read(start[0], &go, 1));
            for (int i = 0; i < calls; ++i) work();
            _exit(0);
        }
        children.push_back(child);
    }
    close(start[0]);
    const auto begin = clock_type::now();
    close(start[1]);
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    }
    const std::chrono::duration<double> took = clock_type::now() - begin;
    return processes * calls / took.count();
}

}  // namespace

int main(int argc, char **argv) {
    namespace fs = std::filesystem;
    if (argc > 2 && std::strcmp(argv[1], "--composition") == 0) {
        const store::log_destination to_nothing{&no_file_ops, "unused"};
        for (long i = std::atol(argv[2]); i > 0; --i) full_call(to_nothing);
        return 0;
    }
    std::string pattern = ((argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()) / "zephlog-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path directory = pattern;
    const std::string call_file = (directory / "call.DAT").string();
    const std::string floor_file = (directory / "floor.DAT").string();
    const store::log_destination to_file{&platform::system_file_ops, call_file.c_str()};
    const store::log_destination to_nothing{&no_file_ops, call_file.c_str()};
    const auto call = [&] { full_call(to_file); };
    const auto compose = [&] { full_call(to_nothing); };
    const auto floor = [&] { floor_store(floor_file.c_str()); };
    const store::log_record record = store::make_record(1765400000, 3, 42, std::array<std::string_view, 1>{"x"});
    const auto writer = [&] { static_cast<void>(store::store_record(to_file, record)); };

    constexpr int calls = 20000;
    const std::vector<double> us = per_call_us({call, compose, writer, floor}, calls);
    const double call_us = us[0], compose_us = us[1], writer_us = us[2], floor_us = us[3];
    std::printf("per call (best of 5 x %d calls, files in %s)\n", calls, directory.c_str());
    std::printf("  full call             %8.3f us\n", call_us);
    std::printf("  composition alone     %8.3f us\n", compose_us);
    std::printf("  writer alone          %8.3f us   (a built record stored)\n", writer_us);
    std::printf("  floor (system calls)  %8.3f us\n", floor_us);
    std::printf("  full call / floor     %8.3f\n", call_us / floor_us);

    std::printf("entries per second, processes logging at once (%d entries in all)\n", calls * 2);
    std::printf("  processes   full call       floor   ratio\n");
    for (const int processes : {1, 2, 4, 8}) {
        const double call_rate = entries_per_second(call, processes, calls * 2 / processes);
        const double floor_rate = entries_per_second(floor, processes, calls * 2 / processes);
        std::printf("  %9d  %10.0f  %10.0f  %6.3f\n", processes, call_rate, floor_rate, floor_rate / call_rate);
    }
    fs::remove_all(directory);
    return 0;
}

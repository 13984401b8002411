// The log store in one process: the ring rules, the writer's steps on a real file, its handling of failed file
// operations and damaged files, the golden file, and the store call of a logging call.
#include "store_support.h"

#include "zephlog.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <thread>

namespace store_test {
namespace {

using zephlog::platform::cc_file;

std::string entry_text(int n) { return "entry " + std::to_string(n); }

// --- Ring rules -------------------------------------------------------------------------------------------------

TEST(MakeRoom, DropsTheOldestOnlyWhenFullAndMovesTheMarkOnlyWithIt) {
    struct row {
        log_header before, after;
    };
    const row rows[] = {
        {{0, 0, 999}, {1, 1, 999}},      // full: the mark pointed at the dropped record
        {{0, 5, 999}, {1, 5, 999}},      // full: the mark elsewhere stays
        {{1, 1, 0}, {2, 2, 0}},          // full, wrapped
        {{1, 7, 0}, {2, 7, 0}},
        {{999, 999, 998}, {0, 0, 998}},  // first_slot and mark_slot wrap from 999 to 0
        {{3, 3, 500}, {3, 3, 500}},      // not full: nothing moves, even with the mark at first_slot
        {{0, 0, 998}, {0, 0, 998}},      // 998 kept: one more still fits
        {{0, 0, 0}, {0, 0, 0}},          // empty
    };
    for (const row &r : rows) {
        log_header h = r.before;
        make_room(h);
        EXPECT_EQ(h, r.after) << r.before.first_slot << "," << r.before.mark_slot << "," << r.before.next_slot;
    }
}

// --- The writer on a real file ----------------------------------------------------------------------------------

class Writer : public LogFileTest {};

TEST_F(Writer, FirstEntryCreatesTheFileSharedWithItsGroup) {
    const mode_t old_mask = umask(077);
    store(1700000000, {"first"}, 2, 42);
    umask(old_mask);
    EXPECT_EQ(contents().size(), header_size + record_size);
    EXPECT_EQ(header(), (log_header{0, 0, 1}));
    EXPECT_EQ(record(0), record_of(1700000000, 2, 42, {"first"}));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0660u);
}

TEST_F(Writer, KeepsTheNewest999AcrossTheWrap) {
    for (int n = 1; n <= 999; ++n) store(n, {entry_text(n)});
    EXPECT_EQ(header(), (log_header{0, 0, 999}));
    EXPECT_EQ(contents().size(), header_size + 999 * record_size);

    store(1000, {entry_text(1000)});  // the first record gives way; the mark pointed at it and moves too
    EXPECT_EQ(header(), (log_header{1, 1, 0}));
    EXPECT_EQ(contents().size(), full_file_size);
    EXPECT_EQ(record(999).line(0), entry_text(1000));

    set_header({1, 500, 0});  // a mark elsewhere stays where it is
    store(1001, {entry_text(1001)});
    EXPECT_EQ(header(), (log_header{2, 500, 1}));
    EXPECT_EQ(record(0).line(0), entry_text(1001));
    EXPECT_EQ(contents().size(), full_file_size);

    const std::vector<std::string> kept = kept_lines();
    ASSERT_EQ(kept.size(), 999u);
    for (int i = 0; i < 999; ++i) EXPECT_EQ(kept[static_cast<std::size_t>(i)], entry_text(i + 3));
}

TEST_F(Writer, CutsLinesAt78AndZeroFillsEachSlot) {
    for (const std::size_t length : {0, 1, 77, 78, 79, 100, 300}) {
        const std::string line(length, 'x');
        const log_record r = record_of(5, 0, 1, {std::string_view("a"), std::string_view(line), "\r"});
        EXPECT_EQ(r.line_count, 3);
        EXPECT_EQ(r.line(1), line.substr(0, 78)) << length;
        const auto &slot = r.lines[1];
        EXPECT_TRUE(std::all_of(slot.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(length, 78)),
                                slot.end(), [](char c) { return c == '\0'; }))
            << length;
        EXPECT_EQ(r.line(2), "\r");  // a CR of the caller's message may end a line
    }
    // Slots beyond line_count and the reserved byte are zero.
    const record_bytes encoded = encode_record(record_of(5, 0, 1, {std::string_view("only")}));
    EXPECT_TRUE(std::all_of(encoded.begin() + lines_offset + line_slot_size, encoded.end(),
                            [](std::uint8_t b) { return b == 0; }));
}

// A file written by hand from the layout: three entries, pinning every byte of header and records.
TEST_F(Writer, MatchesTheGoldenFile) {
    store(1700000000, {"Service started"}, 0, 1);
    store(0x7FFFFFFF, {"first", "second ends in CR\r", ""}, 4, 65535);
    store(-2, {std::string(100, 'x'), std::string(78, 'y')}, 2, 0x1234);
    std::ifstream golden(ZEPHLOG_TEST_DATA "/golden-3-entries.dat", std::ios::binary);
    ASSERT_TRUE(golden) << "missing golden file";
    const bytes expected{std::istreambuf_iterator<char>(golden), std::istreambuf_iterator<char>()};
    EXPECT_EQ(contents(), expected);
}

// --- Failed file operations -------------------------------------------------------------------------------------

// File operations whose seeks fail on the calls listed (1 = the first seek of a store).
std::set<int> failing_seeks;
int seek_calls = 0;

long seek_that_fails(cc_file *file, long offset, int origin) {
    return failing_seeks.contains(++seek_calls) ? -1 : zephlog::platform::CCFSEEK(file, offset, origin);
}

cc_file *open_that_fails(const char *, const char *, int, int, int) { return nullptr; }

constexpr zephlog::platform::locked_file_ops failing_seek_ops{system_file_ops.open, seek_that_fails,
                                                              system_file_ops.read, system_file_ops.write,
                                                              system_file_ops.close};
constexpr zephlog::platform::locked_file_ops failing_open_ops{open_that_fails, system_file_ops.seek,
                                                              system_file_ops.read, system_file_ops.write,
                                                              system_file_ops.close};

TEST_F(Writer, FailedSeeksSkipTheirStepOnly) {
    // A store seeks to 0 (header read), to the slot, to 0 (header write) and to 0 (header write on close).
    struct row {
        std::set<int> failing;
        log_header header;          // afterwards, the ring held 3 records before
        int new_record_slot;        // where the new record landed, -1 for nowhere
        std::size_t records_in_file;
    };
    const row rows[] = {
        {{1}, {0, 0, 1}, 0, 3},     // no header read: the ring starts from zeros, slot 0 is overwritten
        {{2}, {0, 0, 4}, -1, 3},    // no record write, but the slot still advances
        {{3}, {0, 0, 4}, 3, 4},     // the close step writes the header
        {{3, 4}, {0, 0, 3}, 3, 4},  // no header write at all
    };
    for (const row &r : rows) {
        std::filesystem::remove(path);
        for (int n = 1; n <= 3; ++n) store(n, {entry_text(n)});
        failing_seeks = r.failing;
        seek_calls = 0;
        ASSERT_TRUE(store_record({&failing_seek_ops, path.c_str()},
                                 record_of(99, 1, 1, {"new"})));
        EXPECT_EQ(seek_calls, 4);
        EXPECT_EQ(header(), r.header) << "failing seek " << *r.failing.begin();
        EXPECT_EQ(contents().size(), header_size + r.records_in_file * record_size);
        for (std::uint16_t slot = 0; slot < r.records_in_file; ++slot) {
            const std::string expected = slot == r.new_record_slot ? "new" : entry_text(slot + 1);
            EXPECT_EQ(record(slot).line(0), expected) << "failing seek " << *r.failing.begin();
        }
    }
}

TEST_F(Writer, FailedOpenWritesNothingAndIsReported) {
    EXPECT_FALSE(store_record({&failing_open_ops, path.c_str()},
                              record_of(1, 1, 1, {"x"})));
    EXPECT_FALSE(store_record({&system_file_ops, (directory / "missing" / "LOGFILE.DAT").c_str()},
                              record_of(1, 1, 1, {"x"})));
    EXPECT_FALSE(std::filesystem::exists(path));
}

// --- Damaged files ----------------------------------------------------------------------------------------------

// A header with a field above 999 counts as an empty ring at slot 0, like a file too short for a header: the next
// entries land from slot 0 on and nothing is written outside the 1000 slots.
TEST_F(Writer, DamagedHeaderCountsAsAnEmptyRing) {
    const log_header damaged[] = {{1000, 0, 5}, {0, 1000, 5}, {0, 0, 1000}, {999, 5, 65535}, {65535, 65535, 65535}};
    for (const log_header &h : damaged) {
        std::filesystem::remove(path);
        for (int n = 1; n <= 3; ++n) store(n, {entry_text(n)});
        set_header(h);
        store(10, {"after damage"});
        store(11, {"and the next"});
        EXPECT_EQ(header(), (log_header{0, 0, 2})) << h.first_slot << "," << h.mark_slot << "," << h.next_slot;
        EXPECT_EQ(kept_lines(), (std::vector<std::string>{"after damage", "and the next"}));
        EXPECT_EQ(contents().size(), header_size + 3 * record_size);
    }
}

TEST_F(Writer, ShortOrRandomFileIsMendedWithoutGrowingPastTheRing) {
    std::mt19937 random(20261211);
    const auto random_bytes = [&](std::size_t size) {
        bytes data(size);
        for (auto &b : data) b = static_cast<std::uint8_t>(random());
        return data;
    };
    // A header cut short reads as no header at all, not as part of one.
    set_contents({0x01, 0x00, 0x05});
    store(1, {"one"});
    EXPECT_EQ(header(), (log_header{0, 0, 1}));
    EXPECT_EQ(contents().size(), header_size + record_size);

    for (const std::size_t size : {std::size_t{4}, std::size_t{1000}, full_file_size, full_file_size + 100}) {
        set_contents(random_bytes(size));
        for (int n = 1; n <= 3; ++n) store(n, {entry_text(n)});
        const log_header h = header();
        ASSERT_TRUE(header_in_range(h)) << size;
        EXPECT_EQ(contents().size(), std::max(size, header_size + 3 * record_size)) << size;
        const std::vector<std::string> kept = kept_lines();
        ASSERT_GE(kept.size(), 3u) << size;
        EXPECT_EQ(std::vector<std::string>(kept.end() - 3, kept.end()),
                  (std::vector<std::string>{entry_text(1), entry_text(2), entry_text(3)}))
            << size;
    }
}

// --- The store call of a logging call ---------------------------------------------------------------------------

class LoggingCall : public LogFileTest {};

TEST_F(LoggingCall, StoresEveryNonFatalEntryAndReturnsItsTime) {
    const std::int32_t first = log_to(destination(), 3, 0x10042, "Job %1% failed\nafter %2% tries", "backup", "3");
    const std::int32_t second = log_to(destination(), 0x107, 9, "type out of range");
    EXPECT_EQ(header(), (log_header{0, 0, 2}));
    const log_record r = record(0);
    EXPECT_EQ(r.entry_time, first);
    EXPECT_EQ(r.entry_type, 3);
    EXPECT_EQ(r.error_number, 0x42);
    EXPECT_EQ(r.line_count, 2);
    EXPECT_EQ(r.line(0), "Job backup failed");
    EXPECT_EQ(r.line(1), "after 3 tries");
    EXPECT_EQ(record(1).entry_time, second);
    EXPECT_EQ(record(1).entry_type, 4);
}

TEST_F(LoggingCall, FatalEntryIsNotStored) {
    EXPECT_EXIT(log_to(destination(), 5, 1, "fatal"), testing::ExitedWithCode(255), "Fatal Error: fatal");
    EXPECT_FALSE(std::filesystem::exists(path));
}

std::string exit_handler_file;

TEST_F(LoggingCall, FailedOpenShowsTheBoxAndEndsWithStatus255) {
    const std::string missing = (directory / "missing" / "LOGFILE.DAT").string();
    EXPECT_EXIT(log_to({&system_file_ops, missing.c_str()}, 1, 1, "lost"), testing::ExitedWithCode(255),
                "^Fatal Error: Error opening error log file\n$");
    EXPECT_EXIT(log_to({&failing_open_ops, path.c_str()}, 1, 1, "lost"), testing::ExitedWithCode(255),
                "^Fatal Error: Error opening error log file\n$");
    // The call's lock is free when the process ends, so an exit handler may log.
    exit_handler_file = path;
    EXPECT_EXIT(
        {
            std::atexit([] {
                log_to({&system_file_ops, exit_handler_file.c_str()}, 1, 1, "from the exit handler");
                std::fputs("exit handler logged\n", stderr);
            });
            log_to({&failing_open_ops, path.c_str()}, 1, 1, "lost");
        },
        testing::ExitedWithCode(255), "Error opening error log file\n(.|\n)*exit handler logged");
    EXPECT_EQ(kept_lines(), std::vector<std::string>{"from the exit handler"});
}

// Threads of one process that log at once: every entry is kept, each thread's in its own order. Another thread
// changes the module of the strings meanwhile, so that the TSan build sees the module handle shared as well.
TEST_F(LoggingCall, ThreadsLoggingAtOnce) {
    constexpr int thread_count = 4;
    constexpr int per_thread = 50;
    void *module = dlopen(ZEPHLOG_TEST_STRINGS_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        while (!done.load()) {
            dll_set_zeph_log_inst(module);
            dll_set_zeph_log_inst(nullptr);
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([this, t] {
            for (int n = 0; n < per_thread; ++n) {
                log_to(destination(), 1, t, "%1% %2%", std::to_string(t).c_str(), std::to_string(n).c_str());
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    done.store(true);
    switcher.join();
    dlclose(module);
    std::vector<int> next(thread_count, 0);
    const std::vector<std::string> kept = kept_lines();
    ASSERT_EQ(kept.size(), std::size_t{thread_count * per_thread});
    for (const std::string &line : kept) {
        const int t = std::stoi(line);
        EXPECT_EQ(line, std::to_string(t) + " " + std::to_string(next[static_cast<std::size_t>(t)]++));
    }
}

}  // namespace
}  // namespace store_test

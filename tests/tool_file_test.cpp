// The reader's code in process: the golden file, verify's faults, the follower's arithmetic, times and the
// arguments a shell message takes.
#include "compose/entry.h"
#include "filter.h"
#include "follow.h"
#include "log_image.h"
#include "shell_log.h"
#include "tool_support.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace zephlog::tools {
namespace {

using test::temp_dir;

struct expected_record {
    std::uint16_t slot;
    std::int32_t time;
    int type;
    std::uint16_t number;
    std::vector<std::string> lines;
};

// tests/data/golden.log, written byte by byte apart from the library: five records in slots 0 to 4.
const std::vector<expected_record> golden_records = {
    {0, 1765441800, 0, 1, {"Service started"}},
    {1, 1765441801, 1, 17, {"Disk /var is 91% full"}},
    {2, 1765441862, 2, 42, {"Three lines:", "second line", "third line"}},
    {3, 1765445400, 3, 500, {std::string(78, 'x')}},
    {4, 1765488000, 4, 65535, {"caf\xe9 \x1b[31m", "ends with CR\r"}},
};

const std::string golden_path = std::string(ZEPHLOG_TEST_DATA) + "/golden.log";

TEST(GoldenFile, DecodesEveryRecord) {
    const log_image image = log_image::read(golden_path);
    EXPECT_EQ(image.header(), (store::log_header{0, 0, 5}));
    const std::vector<kept_record> records = kept_records(image);
    ASSERT_EQ(records.size(), golden_records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const expected_record &want = golden_records[i];
        const store::log_record &got = records[i].record;
        EXPECT_EQ(records[i].slot, want.slot);
        EXPECT_EQ(got.entry_time, want.time);
        EXPECT_EQ(got.entry_type, want.type);
        EXPECT_EQ(got.error_number, want.number);
        ASSERT_EQ(got.line_count, want.lines.size());
        for (std::size_t j = 0; j < want.lines.size(); ++j) EXPECT_EQ(got.line(static_cast<int>(j)), want.lines[j]);
    }
    EXPECT_TRUE(verify(image).empty());
}

// A file of `count` numbered entries, stored through the writer.
std::string numbered_log(const temp_dir &dir, unsigned count) {
    const std::string path = dir.file("LOGFILE.DAT");
    test::store_numbered(path, 0, count);
    return path;
}

std::vector<unsigned> numbers_of(const std::vector<kept_record> &records) {
    std::vector<unsigned> numbers;
    for (const kept_record &entry : records) numbers.push_back(entry.record.error_number);
    return numbers;
}

std::vector<unsigned> run_of(unsigned first, unsigned count) {
    std::vector<unsigned> numbers;
    for (unsigned n = first; n < first + count; ++n) numbers.push_back(n);
    return numbers;
}

TEST(KeptRecords, FollowTheRingAcrossItsWrap) {
    temp_dir dir;
    const std::string path = numbered_log(dir, 1003);  // the first four have given way
    const log_image image = log_image::read(path);
    EXPECT_EQ(image.header(), (store::log_header{4, 4, 3}));
    EXPECT_EQ(numbers_of(kept_records(image)), run_of(4, 999));
    EXPECT_TRUE(verify(image).empty());
}

// Each kind of damage, made to a good file of five entries, and the fault verify reports for it.
struct damage_case {
    const char *name;
    std::function<void(std::vector<std::uint8_t> &)> damage;
    std::string fault;  // as describe() gives it
    bool unreadable;    // the reader refuses the file: its ring cannot be made out
};

std::size_t at(std::uint16_t slot, std::size_t offset) { return store::slot_offset(slot) + offset; }

const damage_case damage_cases[] = {
    {"tag", [](auto &b) { b[at(2, store::tag_offset)] = 0xE6; }, "slot 2: record tag is 998, not 999", false},
    {"no lines", [](auto &b) { b[at(1, store::line_count_offset)] = 0; },
     "slot 1: line count is 0, not 1 to 3", false},
    {"four lines", [](auto &b) { b[at(1, store::line_count_offset)] = 4; },
     "slot 1: line count is 4, not 1 to 3", false},
    {"no NUL", [](auto &b) { b[at(3, store::lines_offset + 78)] = 'x'; },
     "slot 3: line 1 has no NUL at byte 78 of its slot", false},
    {"fatal type", [](auto &b) { b[at(0, store::type_offset)] = 5; }, "slot 0: entry type is 5, not 0 to 4", false},
    {"negative type", [](auto &b) { b[at(4, store::type_offset)] = 0xFF; },
     "slot 4: entry type is -1, not 0 to 4", false},
    {"first_slot", [](auto &b) { b[1] = 0x04; }, "header field first_slot is 1024, beyond the last slot 999", true},
    {"mark_slot", [](auto &b) { b[2] = 0xE8, b[3] = 0x03; },
     "header field mark_slot is 1000, beyond the last slot 999", true},
    {"next_slot", [](auto &b) { b[4] = 0xFF, b[5] = 0xFF; },
     "header field next_slot is 65535, beyond the last slot 999", true},
    {"kept beyond the end", [](auto &b) { b.resize(store::slot_offset(3)); },
     "slot 3: the file ends at byte 750, before kept slots 3 to 4", true},
    {"partial record", [](auto &b) { b.resize(b.size() + 10); },
     "the file is 1256 bytes long and ends inside a record (not 6 + 248 * n)", false},
    {"too long", [](auto &b) { b.resize(store::full_file_size + 1); },
     "the file is longer than a full log of 248006 bytes", false},
    {"empty", [](auto &b) { b.clear(); }, "the file is empty: no entry has been stored in it", true},
    {"short header", [](auto &b) { b.resize(5); }, "the file is 5 bytes long, shorter than its 6-byte header", true},
};

TEST(Verify, ReportsEachKindOfDamageWithItsSlotAndTheReaderRefusesABrokenRing) {
    temp_dir dir;
    const std::vector<std::uint8_t> good = test::read_bytes(numbered_log(dir, 5));
    for (const damage_case &c : damage_cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        const log_image image("damaged", bytes);
        const std::vector<fault> faults = verify(image);
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(describe(faults[0]), c.fault);
        if (c.unreadable) {
            EXPECT_THROW(kept_records(image), log_error);
        } else {
            EXPECT_EQ(kept_records(image).size(), 5u);
        }
    }
}

TEST(Verify, IgnoresLineSlotsBeyondTheLineCount) {
    temp_dir dir;
    std::vector<std::uint8_t> bytes = test::read_bytes(numbered_log(dir, 2));
    // Slot 0 has one line: its second and third line slots and the reserved byte carry no meaning.
    for (std::size_t i = store::lines_offset + store::line_slot_size; i < store::record_size; ++i) {
        bytes[at(0, i)] = 'z';
    }
    const log_image image("unused slots", bytes);
    EXPECT_TRUE(verify(image).empty());
    EXPECT_EQ(kept_records(image)[0].record.line(0), "entry 0");
}

// The follower after `before` entries, then `after` more, against what was stored.
struct follow_case {
    unsigned before, after;
    unsigned first_shown, shown;
    bool lost;
};

TEST(RingFollower, TellsNewRecordsAndLossBetweenTwoLooks) {
    const follow_case cases[] = {
        {10, 0, 0, 0, false},      {10, 5, 10, 5, false},       {995, 10, 995, 10, false},  // across the wrap
        {500, 998, 500, 998, false}, {500, 999, 500, 999, false},  // the last seen record just dropped
        {500, 1000, 501, 999, true}, {500, 1999, 1500, 999, true}, {0, 999, 0, 999, false},
        {0, 1000, 1, 999, true},     {0, 3, 0, 3, false},
    };
    for (const follow_case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.before << " then " << c.after);
        temp_dir dir;
        const std::string path = dir.file("LOGFILE.DAT");
        test::write_bytes(path, {0, 0, 0, 0, 0, 0});  // an empty ring
        test::store_numbered(path, 0, c.before);
        ring_follower follower(log_image::read(path));
        test::store_numbered(path, c.before, c.after);
        const ring_follower::step step = follower.advance(log_image::read(path));
        EXPECT_EQ(numbers_of(step.arrived), run_of(c.first_shown, c.shown));
        EXPECT_EQ(step.lost, c.lost);
        EXPECT_TRUE(follower.advance(log_image::read(path)).arrived.empty());
    }
}

TEST(ParseTime, ReadsTheFormsPeopleWrite) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t now = 1765441865;  // 2025-12-11 08:31:05 UTC
    const std::pair<const char *, std::int64_t> good[] = {
        {"2025-12-11 08:30:05", 1765441805}, {"2025-12-11T08:30", 1765441800}, {"2025-12-11", 1765411200},
        {"08:30", 1765441800}, {"today", 1765411200}, {"yesterday", 1765324800}, {"now", now},
        {"-15m", now - 900}, {"+2h", now + 7200}, {"-1d", now - 86400}, {"@1765441800", 1765441800},
    };
    for (const auto &[text, value] : good) EXPECT_EQ(parse_time(text, now), value) << text;
    for (const char *bad : {"", "soon", "2025-13-01", "2025-12-11 25:00", "08:30 ", "-15", "-x m", "@12x", "+"}) {
        EXPECT_EQ(parse_time(bad, now), std::nullopt) << bad;
    }
}

TEST(ShellArguments, CountWhatEachModeTakes) {
    const std::pair<const char *, std::size_t> cases[] = {
        {"plain text", 0},         {"%1% and %2%", 2},   {"%1% and %3%", 1},  {"kept %1 as written %s", 0},
        {"%s is %s", 2},           {"%-10.3s|%%", 1},    {"100%% sure", 0},   {"%1%%1%", 1},
    };
    for (const auto &[message, count] : cases) EXPECT_EQ(arguments_taken(message), count) << message;
    for (const char *bad : {"%d items", "%5$s", "%*s", "trailing %", "%ls", "%n"}) {
        EXPECT_THROW(arguments_taken(bad), std::invalid_argument) << bad;
    }
}

// Where log_to_test_file stores: a logging call like the library's, into a file of the test.
std::string shell_log_path;

std::int32_t log_to_test_file(int type, int number, const char *message, ...) {
    std::va_list args;
    va_start(args, message);
    const store::log_destination destination{&platform::system_file_ops, shell_log_path.c_str()};
    const std::int32_t time = log_entry(destination, type, number, message, args);
    va_end(args);
    return time;
}

TEST(ShellLog, PassesTheStringsTheMessageTakes) {
    temp_dir dir;
    shell_log_path = dir.file("LOGFILE.DAT");
    std::string twenty_keys;
    std::vector<std::string> twenty_args;
    for (char c = 'a'; c < 'a' + 20; ++c) {
        twenty_keys += "%" + std::to_string(c - 'a' + 1) + "%";
        twenty_args.emplace_back(1, c);
    }
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {"Job %1% failed: %2%", {"backup", "-x"}, "Job backup failed: -x"},
        {"%-6s|%.2s at 100%%", {"disk", "sda"}, "disk  |sd at 100%"},
        {"kept %1 as written", {}, "kept %1 as written"},
        {twenty_keys, twenty_args, "abcdefghijklmnopqrst"},
    };
    for (const auto &[message, args, line] : cases) {
        log_from_shell(2, 7, message, args, log_to_test_file);
        EXPECT_EQ(kept_records(log_image::read(shell_log_path)).back().record.line(0), line) << message;
    }
}

TEST(ShellLog, RefusesArgumentsTheMessageDoesNotTakeBeforeLogging) {
    temp_dir dir;
    shell_log_path = dir.file("LOGFILE.DAT");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"Job %1% failed after %2% tries", {"backup"}}, {"as written", {"extra"}}, {"%s and %s", {"1", "2", "3"}},
        {"%d items", {"5"}},
    };
    for (const auto &[message, args] : cases) {
        EXPECT_THROW(log_from_shell(2, 7, message, args, log_to_test_file), std::invalid_argument) << message;
    }
    EXPECT_FALSE(std::filesystem::exists(shell_log_path));
}

}  // namespace
}  // namespace zephlog::tools

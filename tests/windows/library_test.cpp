// zephlog.dll as Windows programs use it: its log file at the path built into it, exceptions that reach the
// caller, the fatal path and the open failure, and several processes logging at once.
#include "store/format.h"
#include "zephlog.h"

#include <windows.h>

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace store = zephlog::store;
namespace fs = std::filesystem;

const fs::path log_path = ZEPHLOG_TEST_LOG_PATH;

fs::path next_to_this_program(const char *name) {
    std::array<char, MAX_PATH> path{};
    GetModuleFileNameA(nullptr, path.data(), MAX_PATH);
    return fs::path(path.data()).parent_path() / name;
}

// exit(-1) as Windows reports it; a Unix shell that started the program under Wine sees 255.
constexpr DWORD exit_minus_one = 0xFFFFFFFF;

// Runs a program with arguments and returns its exit status.
DWORD run(const std::string &command_line) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = command_line;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << command_line;
        return 0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

std::string child(const std::string &arguments) {
    return '"' + next_to_this_program("win_log_child.exe").string() + "\" " + arguments;
}

std::string file_bytes() {
    std::ifstream in(log_path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ring {
    store::log_header header;
    std::vector<store::log_record> kept;  // oldest first
};

ring read_ring() {
    const std::string bytes = file_bytes();
    ring result;
    if (bytes.size() < store::header_size) return result;
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.data());
    result.header = store::decode_header(std::span<const std::uint8_t, store::header_size>(data, store::header_size));
    for (std::uint16_t i = 0; i < store::kept_count(result.header); ++i) {
        const std::size_t offset = store::slot_offset(store::kept_slot(result.header, i));
        if (offset + store::record_size > bytes.size()) break;
        result.kept.push_back(
            store::decode_record(std::span<const std::uint8_t, store::record_size>(data + offset, store::record_size)));
    }
    return result;
}

// Every test starts from no log file, in a directory that exists (inside the Wine prefix for the default path).
class Library : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(log_path.parent_path());
        fs::remove_all(log_path);
        dll_set_zeph_log_inst(nullptr);
    }
    void TearDown() override { fs::remove_all(log_path); }
};

TEST_F(Library, StoresTheEntryAndReturnsItsTime) {
    const std::int32_t time = dll_zeph_log_error(0x102, 0x10007, "Disk %1% is full\nsecond line", "D:");
    const ring stored = read_ring();
    EXPECT_EQ(fs::file_size(log_path), store::header_size + store::record_size);
    EXPECT_EQ(stored.header, (store::log_header{0, 0, 1}));
    ASSERT_EQ(stored.kept.size(), 1u);
    const store::log_record &record = stored.kept[0];
    EXPECT_EQ(record.entry_time, time);
    EXPECT_EQ(record.entry_type, 2);        // the low byte of the type
    EXPECT_EQ(record.error_number, 7);      // the low 16 bits of the number
    ASSERT_EQ(record.line_count, 2);
    EXPECT_EQ(record.line(0), "Disk D: is full");
    EXPECT_EQ(record.line(1), "second line");
}

// A header with a field above 999 did not come from a store: the ring starts again, empty, at slot 0.
TEST_F(Library, DamagedHeaderStartsTheRingAgain) {
    std::ofstream(log_path, std::ios::binary) << std::string("\xff\xff\x00\x00\xe8\x03", 6) << std::string(600, 'x');
    dll_zeph_log_error(1, 2, "after the damage");
    const ring stored = read_ring();
    EXPECT_EQ(stored.header, (store::log_header{0, 0, 1}));
    ASSERT_EQ(stored.kept.size(), 1u);
    EXPECT_EQ(stored.kept[0].line(0), "after the damage");
}

TEST_F(Library, ExceptionsReachTheCallerBeforeTheFileIsTouched) {
    EXPECT_THROW(dll_zeph_log_error(0, 1, "%1% %3%", "a"), boost::io::too_few_args);
    EXPECT_THROW(dll_zeph_log_error(0, 1, "50%1% %"), boost::io::bad_format_string);

    // A template asking for a tenth insert fails the expansion; the system formatter would read past the fields.
    const HMODULE module = LoadLibraryA(next_to_this_program("win_bad_template_module.dll").string().c_str());
    ASSERT_NE(module, nullptr);
    dll_set_zeph_log_inst(module);
    try {
        dll_zeph_log_error(0, 1, "never stored");
        ADD_FAILURE() << "no exception";
    } catch (const zephlog::expansion_error &error) {
        EXPECT_EQ(error.code(), 0x8007000Eu);
    }
    dll_set_zeph_log_inst(nullptr);
    FreeLibrary(module);
    EXPECT_FALSE(fs::exists(log_path));
}

TEST_F(Library, FatalEntryEndsTheProcessWithMinusOneAndIsNotStored) {
    dll_zeph_log_error(0, 1, "before");
    const std::string before = file_bytes();
    EXPECT_EQ(run(child("fatal")), exit_minus_one);
    EXPECT_EQ(file_bytes(), before);
}

TEST_F(Library, LogFileThatCannotBeOpenedEndsTheProcessWithMinusOne) {
    fs::create_directory(log_path);  // a directory where the file should be
    EXPECT_EQ(run(child("log 1 1")), exit_minus_one);
}

// Processes that log at once lose nothing that the ring keeps: the 999 newest records, each process's in its
// own order, the newest of every process among them.
TEST_F(Library, ProcessesLoggingAtOnceShareTheRing) {
    constexpr int processes = 3;
    constexpr int entries = 400;
    std::vector<PROCESS_INFORMATION> children(processes);
    for (int id = 0; id < processes; ++id) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string line = child("log " + std::to_string(id + 1) + " " + std::to_string(entries));
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &children[static_cast<std::size_t>(id)]));
    }
    for (PROCESS_INFORMATION &process : children) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 1;
        GetExitCodeProcess(process.hProcess, &status);
        EXPECT_EQ(status, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    const ring stored = read_ring();
    constexpr int total = processes * entries;
    EXPECT_EQ(stored.header.next_slot, total % store::slot_count);
    EXPECT_EQ(stored.header.first_slot, (total + 1) % store::slot_count);
    ASSERT_EQ(stored.kept.size(), store::max_kept);
    std::map<int, int> last_entry;  // per process
    for (const store::log_record &record : stored.kept) {
        int id = 0;
        int entry = 0;
        ASSERT_EQ(std::sscanf(std::string(record.line(0)).c_str(), "child %d entry %d", &id, &entry), 2)
            << record.line(0);
        EXPECT_EQ(record.error_number, id);
        EXPECT_EQ(record.entry_type, entry % 5);
        EXPECT_EQ(record.record_tag, store::record_tag_value);
        const auto previous = last_entry.find(id);
        if (previous != last_entry.end()) {
            EXPECT_EQ(entry, previous->second + 1) << "process " << id;
        }
        last_entry[id] = entry;
    }
    ASSERT_EQ(last_entry.size(), std::size_t{processes});
    for (const auto &[id, entry] : last_entry) EXPECT_EQ(entry, entries - 1) << "process " << id;
}

}  // namespace

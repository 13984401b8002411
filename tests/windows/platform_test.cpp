// The Windows platform layer against the real system: string resources, the message formatter compared with the
// portable expander, the clock, and the file lock.
#include "platform/platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace platform = zephlog::platform;

const std::array<std::string_view, 9> fields{"26", "12", "11", "07", "38", "26", "P", "00042", "ERROR    "};

std::string load(platform::module_handle module, unsigned id, std::size_t size = 80) {
    std::array<char, 80> buffer;
    buffer.fill('#');
    const platform::string_request request{id, std::span<char>(buffer.data(), size)};
    platform::load_strings(module, {&request, 1});
    return buffer.data();
}

TEST(StringTable, ComesFromTheModulesResources) {
    EXPECT_EQ(load(nullptr, 42054), "%1/%2/%3 %4:%5:%6%7 %8 %9: ");  // null: the program itself
    EXPECT_EQ(load(GetModuleHandleA(nullptr), 42062), "FATAL");
    EXPECT_EQ(load(nullptr, 42063), "");                              // missing
    EXPECT_EQ(load(GetModuleHandleA("kernel32.dll"), 42054), "");     // a module without these strings
    EXPECT_EQ(load(nullptr, 1, 20), "a text longer than ");           // cut to the buffer less one
    EXPECT_EQ(load(nullptr, 1, 1), "");
}

// --- The portable expander against the system formatter -----------------------------------------------------

std::optional<std::string> portable(std::string_view tmpl) {
    std::string out;
    if (!platform::expand_inserts(tmpl, fields, out)) return std::nullopt;
    return out;
}

// The system formatter called directly, with the nine fields. Only for templates whose inserts stay within
// %1..%9 and whose conversions are strings: anything else makes it read past the fields.
std::optional<std::string> system_formatter(const std::string &tmpl) {
    std::array<std::string, 9> texts;
    std::array<DWORD_PTR, 9> arguments{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        texts[i] = fields[i];
        arguments[i] = reinterpret_cast<DWORD_PTR>(texts[i].c_str());
    }
    char *result = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, tmpl.c_str(),
        0, 0, reinterpret_cast<char *>(&result), 0, reinterpret_cast<va_list *>(arguments.data()));
    std::optional<std::string> text;
    if (length != 0) text = std::string(result, length);
    LocalFree(result);
    return text;
}

std::string shown(const std::optional<std::string> &text) {
    if (!text) return "(fails)";
    std::string out;
    for (const char c : *text) {
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return '"' + out + '"';
}

// The pieces that generated templates are made of: text, inserts with and without widths, every escape, line
// breaks, and a percent sign before characters with no meaning. No digits and no '!' as text: after an insert
// they would make a two-digit insert number or a conversion other than a string's.
const std::vector<std::string> pieces{
    "a", "Z", " ", ":", "/", "%1", "%2", "%3", "%4", "%5", "%6", "%7", "%8", "%9", "%1!5s!", "%9!-12s!",
    "%8!.3s!", "%7!-4.1s!", "%2!s!", "%3!10.1s!", "%1!05s!", "%9!-08.3s!", "%6! 03s!", "%n", "%r", "%t", "%.", "%!", "% ", "%%", "%0", "%x", "%-",
    "\n", "\r", "\r\n", "\n\r", "%"};

std::string generated_template(std::mt19937 &random) {
    std::uniform_int_distribution<std::size_t> length(0, 8);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::string tmpl;
    for (std::size_t n = length(random); n > 0; --n) tmpl += pieces[piece(random)];
    return tmpl;
}

TEST(Expansion, PortableExpanderAgreesWithTheSystemFormatter) {
    std::vector<std::string> templates{
        "%1/%2/%3 %4:%5:%6%7 %8 %9: ", "x%%y", "a%nb", "a%0b", "%1!5s!|", "%1!-4s!|", "%9!.3s!|%9!-6.2s!|",
        "t%tx%rY%.%!% z", "%x", "line1\nline2\rline3\r\nend", "%8%8 %3", "", "%", "ab%", "%1!5s", "%0", "%1%0%2",
        "\n", "%n", "%9!20s!|", "%9!-20.4s!|", "%1!0s!", "%1!.0s!", "%1!05s!", "%7!03.0s!", "a\n\n\rb", "%%%", "%1!s",
        "\xe9t\xe9", "\x81\x8d\x8f\x90\x9d", "\x80\xff", "%1\x81%2"};  // 8-bit text, some of it unassigned in cp1252
    std::mt19937 random(20261211);
    for (int i = 0; i < 5000; ++i) templates.push_back(generated_template(random));

    int differences = 0;
    for (const std::string &tmpl : templates) {
        const std::optional<std::string> ours = portable(tmpl);
        const std::optional<std::string> theirs = system_formatter(tmpl);
        if (ours != theirs && ++differences <= 20) {
            ADD_FAILURE() << "template " << shown(tmpl) << ": portable " << shown(ours) << ", system "
                          << shown(theirs);
        }
    }
    EXPECT_EQ(differences, 0) << "of " << templates.size() << " templates";
}

// What the portable expander refuses never reaches the system formatter, which would read past the nine fields.
TEST(Expansion, RefusedTemplatesFailWithoutReadingPastTheFields) {
    for (const std::string_view tmpl : {"%10", "%1 %99", "%1!d!", "%2!5x!", "%1!99999s!", "%1!.5000s!"}) {
        std::string out = "untouched";
        EXPECT_FALSE(platform::expand_template(tmpl, fields, out)) << tmpl;
    }
    std::string out;
    ASSERT_TRUE(platform::expand_template("%1/%2/%3 %4:%5:%6%7 %8 %9: ", fields, out));
    EXPECT_EQ(out, "26/12/11 07:38:26P 00042 ERROR    : ");
}

// --- Clock --------------------------------------------------------------------------------------------------

TEST(ClockAndLocalTime, BreaksDownInTheProcessTimeZone) {
    _putenv("TZ=UTC0");
    const auto utc = platform::to_local_time(1293349106);  // 2010-12-26 07:38:26 UTC
    EXPECT_EQ((std::array{utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second}),
              (std::array{2010, 12, 26, 7, 38, 26}));
    const auto before_1970 = platform::to_local_time(-1);  // what the clock gives after 2038
    EXPECT_EQ((std::array{before_1970.year, before_1970.month, before_1970.day, before_1970.hour,
                          before_1970.minute, before_1970.second}),
              (std::array{1969, 12, 31, 23, 59, 59}));
    _putenv("TZ=EST5");
    EXPECT_EQ(platform::to_local_time(1293349106).hour, 2);
    EXPECT_EQ(platform::to_local_time(3600).hour, 20);  // 1969-12-31 20:00 local
    _putenv("TZ=");
    EXPECT_GT(platform::clock_now(), 1700000000);
}

// --- The locked file ----------------------------------------------------------------------------------------

class LockedFile : public testing::Test {
protected:
    void SetUp() override {
        path = std::filesystem::temp_directory_path() / ("zephlog-lock-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove(path);
    }
    void TearDown() override { std::filesystem::remove(path); }

    // Whether another handle of the file could take the lock now.
    bool lock_is_free() const {
        const HANDLE other = CreateFileA(path.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(other, INVALID_HANDLE_VALUE);
        OVERLAPPED from_start{};
        const bool free = LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                                     MAXDWORD, &from_start) != 0;
        CloseHandle(other);
        return free;
    }

    platform::cc_file *open() const { return platform::cc_lock_open_ex2(path.string().c_str(), "RWBC", 384, 41, 1000); }

    std::filesystem::path path;
};

TEST_F(LockedFile, CreatesTheFileAndReadsWritesAnywhere) {
    platform::cc_file *file = open();
    ASSERT_NE(file, nullptr);
    std::array<char, 4> buffer{'k', 'e', 'e', 'p'};
    EXPECT_EQ(platform::CCFREADBASE(buffer.data(), 4, 1, file), 0u);  // empty: nothing read, buffer as it was
    EXPECT_EQ(std::string(buffer.data(), 4), "keep");
    EXPECT_EQ(platform::CCFSEEK(file, 10, 0), 0);
    EXPECT_EQ(platform::CCFWRITEBASE("abcd", 2, 2, file), 2u);
    EXPECT_LT(platform::CCFSEEK(file, -1, 0), 0);
    EXPECT_EQ(platform::CCFSEEK(file, 12, 0), 0);
    EXPECT_EQ(platform::CCFREADBASE(buffer.data(), 1, 4, file), 2u);
    EXPECT_EQ(std::string(buffer.data(), 2), "cd");
    EXPECT_EQ(platform::cc_lock_close(file), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 14u);
}

TEST_F(LockedFile, HoldsTheLockUntilClosedAndAWaitingOpenerGetsItThen) {
    platform::cc_file *file = open();
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(lock_is_free());

    std::atomic<bool> second_open{false};
    std::thread waiter([&] {
        platform::cc_file *second = open();
        second_open = second != nullptr;
        if (second != nullptr) platform::cc_lock_close(second);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(second_open);  // still waiting
    platform::cc_lock_close(file);
    waiter.join();
    EXPECT_TRUE(second_open);
    EXPECT_TRUE(lock_is_free());
}

// The system drops the lock of a process that dies holding it, so the next opener gets in.
TEST_F(LockedFile, AHolderThatIsKilledLeavesTheFileFree) {
    std::array<char, MAX_PATH> program{};
    GetModuleFileNameA(nullptr, program.data(), MAX_PATH);
    std::string command = '"' + (std::filesystem::path(program.data()).parent_path() / "win_lock_holder.exe").string() +
                          "\" \"" + path.string() + '"';
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &holder));
    for (int wait = 0; wait < 500 && (!std::filesystem::exists(path) || lock_is_free()); ++wait) Sleep(10);
    EXPECT_FALSE(lock_is_free());
    TerminateProcess(holder.hProcess, 9);
    WaitForSingleObject(holder.hProcess, INFINITE);
    CloseHandle(holder.hThread);
    CloseHandle(holder.hProcess);

    platform::cc_file *file = open();
    ASSERT_NE(file, nullptr);
    std::array<char, 13> buffer{};
    EXPECT_EQ(platform::CCFREADBASE(buffer.data(), 1, buffer.size(), file), buffer.size());
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), "half a record");
    platform::cc_lock_close(file);
}

TEST_F(LockedFile, MissingDirectoryOrDirectoryInTheWayFails) {
    EXPECT_EQ(platform::cc_lock_open_ex2((path / "missing" / "LOGFILE.DAT").string().c_str(), "RWBC", 384, 41, 1000),
              nullptr);
    std::filesystem::create_directory(path);
    EXPECT_EQ(open(), nullptr);
    std::filesystem::remove(path);
}

}  // namespace

// The library as a caller sees it: the shared library, its two functions, the module strings and the fatal path.
#include "zephlog.h"
#include "zephlog_strings.h"

#include <boost/format.hpp>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

ZEPHLOG_STRING_TABLE(
    {42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "},
    {42055, "A"}, {42056, "P"},
    {42057, "INFO"}, {42058, "NOTICE"}, {42059, "WARNING"},
    {42060, "ERROR"}, {42061, "SEVERE"}, {42062, "FATAL"})

namespace {

using testing::ExitedWithCode;

constexpr const char *stamp = "[0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9][AP]";

std::string fatal_text(const char *rest) { return std::string("Fatal Error: ") + stamp + rest; }

TEST(FatalEntry, ShowsTheWholeLineAndEndsWithStatus255) {
    EXPECT_EXIT(dll_zeph_log_error(5, 42, "Disk %1% failed\nsecond line", "sda"), ExitedWithCode(255),
                fatal_text(" 00042 FATAL    : Disk sda failed\r\n  second line\r\n"));
    // Only the low byte of the type counts: 0x105 is type 5.
    EXPECT_EXIT(dll_zeph_log_error(0x105, 0x10007, "low bytes"), ExitedWithCode(255),
                fatal_text(" 00007 FATAL    : low bytes"));
}

TEST(FatalEntry, ExitHandlersRunAndMayLog) {
    // The process ends through exit(), so its handlers run; the library's lock is free by then, so a handler
    // that logs does not hang. This one's message fails in the formatter, before any file is touched.
    EXPECT_EXIT(
        {
            std::atexit([] {
                try {
                    dll_zeph_log_error(0, 1, "%1% %3%", "a");
                } catch (const boost::io::too_few_args &) {
                    std::fputs("exit handler logged\n", stderr);
                }
            });
            dll_zeph_log_error(5, 1, "bye");
        },
        ExitedWithCode(255), "bye\r\n(.|\n)*exit handler logged");
}

// With a display, the box is a dialog program that the process waits for; zenity first, xmessage otherwise.
TEST(FatalEntry, ShowsADialogWhereThereIsADisplay) {
    const std::string dir = testing::TempDir() + "zephlog-dialog-" + std::to_string(getpid());
    const std::string record = dir + "/record";
    for (const char *program : {"zenity", "xmessage"}) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::create_symlink(ZEPHLOG_TEST_FAKE_DIALOG, dir + "/" + program);
        EXPECT_EXIT(
            {
                setenv("DISPLAY", ":99", 1);
                setenv("PATH", dir.c_str(), 1);
                setenv("ZEPHLOG_TEST_DIALOG_RECORD", record.c_str(), 1);
                dll_zeph_log_error(5, 9, "shown in a dialog");
            },
            ExitedWithCode(255), "shown in a dialog");
        std::ifstream in(record);
        const std::string args((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(args.rfind(program, 0), 0u) << args;
        EXPECT_NE(args.find("Fatal Error"), std::string::npos) << args;
        EXPECT_NE(args.find(" 00009 FATAL    : shown in a dialog\r\n"), std::string::npos) << args;
    }
    std::filesystem::remove_all(dir);
}

TEST(ModuleStrings, TheLastNamedModuleWins) {
    void *module = dlopen(ZEPHLOG_TEST_STRINGS_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_EXIT(
        {
            dll_set_zeph_log_inst(&module);  // not a module: every string is empty, so is the prefix
            dll_set_zeph_log_inst(module);
            dll_zeph_log_error(5, 3, "from the module");
        },
        ExitedWithCode(255), "Fatal Error: module 00003 M-FATAL  : from the module");
    EXPECT_EXIT(
        {
            dll_set_zeph_log_inst(module);
            dll_set_zeph_log_inst(nullptr);
            dll_zeph_log_error(5, 3, "from the program");
        },
        ExitedWithCode(255), fatal_text(" 00003 FATAL    : from the program"));
    EXPECT_EXIT(
        {
            int not_a_module = 0;
            dll_set_zeph_log_inst(&not_a_module);
            dll_zeph_log_error(5, 3, "no prefix");
        },
        ExitedWithCode(255), "Fatal Error: no prefix\r\n");
    dlclose(module);
}

TEST(Exceptions, ReachTheCallerWithTheirTypes) {
    EXPECT_THROW(dll_zeph_log_error(0, 1, "%1% %%2%%", "a", "b"), boost::io::too_many_args);

    void *module = dlopen(ZEPHLOG_TEST_BAD_TEMPLATE_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    dll_set_zeph_log_inst(module);
    try {
        dll_zeph_log_error(0, 1, "never stored");
        ADD_FAILURE() << "the expansion did not fail";
    } catch (const zephlog::expansion_error &error) {
        EXPECT_EQ(error.code(), zephlog::expansion_error::e_outofmemory);
    }
    dll_set_zeph_log_inst(nullptr);
    dlclose(module);
}

}  // namespace

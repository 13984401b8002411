// The POSIX platform layer: string tables found per module, and never a crash for a bad handle.
#include "platform/platform.h"

#include "zephlog_strings.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

ZEPHLOG_STRING_TABLE({42054, "program template"}, {42057, "P-INFO"})

namespace {

using zephlog::platform::module_handle;

std::string load(module_handle module, unsigned id, std::size_t size = 80) {
    std::array<char, 80> buffer;
    buffer.fill('#');  // a string that is not found must still leave an empty string
    const zephlog::platform::string_request request{id, std::span<char>(buffer.data(), size)};
    zephlog::platform::load_strings(module, {&request, 1});
    return buffer.data();
}

class StringTables : public testing::Test {
protected:
    void SetUp() override {
        with_table = dlopen(ZEPHLOG_TEST_STRINGS_MODULE, RTLD_NOW);
        without_table = dlopen(ZEPHLOG_TEST_NO_STRINGS_MODULE, RTLD_NOW);
        ASSERT_NE(with_table, nullptr) << dlerror();
        ASSERT_NE(without_table, nullptr) << dlerror();
    }
    void TearDown() override {
        dlclose(without_table);
        dlclose(with_table);
    }
    module_handle with_table = nullptr;
    module_handle without_table = nullptr;
};

TEST_F(StringTables, EachModuleHasItsOwnStrings) {
    EXPECT_EQ(load(nullptr, 42054), "program template");
    EXPECT_EQ(load(nullptr, 42057), "P-INFO");
    EXPECT_EQ(load(with_table, 42054), "module %8 %9: ");
    EXPECT_EQ(load(with_table, 42062), "M-FATAL");
}

TEST_F(StringTables, MissingStringsAreEmpty) {
    EXPECT_EQ(load(nullptr, 42058), "");       // the program's table lacks this id
    EXPECT_EQ(load(with_table, 42063), "");
    EXPECT_EQ(load(without_table, 42054), "");  // its dependency's table is not its own
}

TEST_F(StringTables, LongStringsAreCutToTheBufferLessOne) {
    EXPECT_EQ(load(with_table, 1, 20), "a text of exactly 2");
    EXPECT_EQ(load(with_table, 1, 1), "");
}

TEST_F(StringTables, InvalidHandlesGiveEmptyStrings) {
    int not_a_module = 0;
    for (module_handle bad : {module_handle(&not_a_module), module_handle(1), module_handle(-1)}) {
        EXPECT_EQ(load(bad, 42054), "");
    }
}

// The library keeps the last table it found; a module unloaded since must not be served from it.
TEST(StringTableCache, UnloadedModuleGivesEmptyStrings) {
    void *module = dlopen(ZEPHLOG_TEST_STRINGS_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_EQ(load(module, 42062), "M-FATAL");
    ASSERT_EQ(dlclose(module), 0);
    EXPECT_EQ(load(module, 42062), "");  // the handle is only compared, never followed
}

TEST(ClockAndLocalTime, BreaksDownInTheProcessTimeZone) {
    setenv("TZ", "", 1);  // empty TZ: UTC
    const auto utc = zephlog::platform::to_local_time(1293349106);  // 2010-12-26 07:38:26 UTC
    EXPECT_EQ((std::array{utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second}),
              (std::array{2010, 12, 26, 7, 38, 26}));
    setenv("TZ", "EST5", 1);
    EXPECT_EQ(zephlog::platform::to_local_time(1293349106).hour, 2);
    unsetenv("TZ");
    EXPECT_GT(zephlog::platform::clock_now(), 1700000000);
}

}  // namespace

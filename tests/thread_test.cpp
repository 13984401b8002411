// Threads of one process that log at once, without serialising their calls themselves.
#include "zephlog.h"
#include "zephlog_strings.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

ZEPHLOG_STRING_TABLE({42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "}, {42057, "INFO"})

namespace {

TEST(Threads, ConcurrentCallsAndModuleChanges) {
    void *module = dlopen(ZEPHLOG_TEST_STRINGS_MODULE, RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    constexpr int thread_count = 4;
    constexpr int calls = 50;
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        while (!done.load()) {
            dll_set_zeph_log_inst(module);
            dll_set_zeph_log_inst(nullptr);
        }
    });
    std::vector<std::thread> loggers;
    std::atomic<int> bad_results{0};
    for (int t = 0; t < thread_count; ++t) {
        loggers.emplace_back([&, t] {
            const std::string name = "thread " + std::to_string(t);
            for (int i = 0; i < calls; ++i) {
                if (dll_zeph_log_error(0, t, "%1% call %2%", name.c_str(), std::to_string(i).c_str()) <= 0) {
                    ++bad_results;
                }
            }
        });
    }
    for (std::thread &logger : loggers) logger.join();
    done.store(true);
    switcher.join();
    dlclose(module);
    EXPECT_EQ(bad_results.load(), 0);
}

}  // namespace

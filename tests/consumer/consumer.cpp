// A C++ program using the installed library: a failed prefix expansion reaches it as zephlog::expansion_error.
#include <zephlog.h>
#include <zephlog_strings.h>

#include <cstdio>

ZEPHLOG_STRING_TABLE({42054, "%10"})

int main() {
    int failures = 0;
    try {
        dll_zeph_log_error(0, 1, "never stored");
        ++failures;
    } catch (const zephlog::expansion_error &error) {
        failures += error.code() != 0x8007000Eu;
    }
    std::puts(failures == 0 ? "consumer_cpp: ok" : "consumer_cpp: FAILED");
    return failures;
}

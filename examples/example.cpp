// An application that logs through zephlog. Its prefix template, half-day markers and type labels are its own:
// they live in its string table below, and the library reads them at every call.
#include <zephlog.h>
#include <zephlog_strings.h>

#include <cstdio>
#include <cstring>
#include <string>

ZEPHLOG_STRING_TABLE(
    {42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "},
    {42055, "A"}, {42056, "P"},
    {42057, "INFO"}, {42058, "NOTICE"}, {42059, "WARNING"},
    {42060, "ERROR"}, {42061, "SEVERE"}, {42062, "FATAL"})

int main(int argc, char **argv) {
    dll_set_zeph_log_inst(nullptr);  // the program itself holds the strings

    dll_zeph_log_error(0, 1, "Service started");
    dll_zeph_log_error(1, 17, "Disk %s is %d%% full", "/var", 91);
    dll_zeph_log_error(2, 42, "Job %1% failed after %2% tries", "nightly-backup", "3");
    dll_zeph_log_error(3, 500, "Cannot reach %1 (kept as written)");
    dll_zeph_log_error(2, 7, "Three lines:\nsecond line\nthird line\nthis fourth line is dropped");
    dll_zeph_log_error(4, 65535, "%s", std::string(2000, 'x').c_str());  // cut to fit the entry line
    std::printf("logged 6 entries\n");

    if (argc > 1 && std::strcmp(argv[1], "--fatal") == 0) {
        dll_zeph_log_error(5, 99, "Configuration %1% is unreadable", "/etc/example.conf");
    }
    return 0;
}

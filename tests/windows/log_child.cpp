// A Windows program that logs through zephlog.dll on behalf of the library tests.
//   win_log_child fatal          logs a fatal entry (the process ends with status 255)
//   win_log_child log ID COUNT   logs COUNT entries numbered ID, with messages "child ID entry N"
#include <zephlog.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "fatal") == 0) {
        dll_zeph_log_error(5, 99, "Configuration %1% is unreadable", "C:\\example.conf");
        return 1;  // not reached
    }
    if (argc == 4 && std::strcmp(argv[1], "log") == 0) {
        const int id = std::atoi(argv[2]);
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) dll_zeph_log_error(i % 5, id, "child %d entry %d", id, i);
        return 0;
    }
    return 2;
}

// Takes the log file's lock through the locked-file layer, writes a few bytes, and then waits to be killed, so
// that a test can check that a dead holder leaves the file free.
//   win_lock_holder PATH
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    zephlog::platform::cc_file *file = zephlog::platform::cc_lock_open_ex2(argv[1], "RWBC", 384, 41, 1000);
    if (file == nullptr) return 1;
    zephlog::platform::CCFWRITEBASE("half a record", 1, 13, file);
    std::puts("holding");
    std::fflush(stdout);
    Sleep(INFINITE);
}

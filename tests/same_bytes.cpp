// Logs one fixed sequence of entries through the library's sequenced-clock variant and compares the log file
// with the golden file that every platform's build must reproduce byte for byte.
//   same_bytes LOG GOLDEN           logs into LOG (removed first) and compares it with GOLDEN
//   same_bytes LOG GOLDEN --write   logs into LOG and writes it to GOLDEN
#include "zephlog.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Every message mode, line breaks and cuts, the type and number bounds, and enough entries to wrap the ring.
void log_sequence() {
    for (int i = 0; i < 995; ++i) dll_zeph_log_error(i % 5, i, "ring entry %04d", i);  // wraps with the rest
    dll_zeph_log_error(0, 1, "verbatim entry");
    dll_zeph_log_error(1, 0x12345, "printf %d|%5s|%-4x|%c|%05.1f|%e|%g|%%", -42, "ab", 255u, 'z', 3.14159, 1e-7,
                       123456789.0);
    dll_zeph_log_error(2, 65535, "positional %2% then %1%, %1% again, 100%%", "first", "second");
    dll_zeph_log_error(3, 7, "kept as written: %1 and %s");
    dll_zeph_log_error(4, 8, "one\ntwo\r\nthree\nfour is dropped");
    dll_zeph_log_error(9, 9, "%s", std::string(200, 'w').c_str());  // type 9 is logged as 4; lines cut at 78
    dll_zeph_log_error(0x100, 10, "");
    dll_zeph_log_error(1, 11, "ends in a line feed\n");
    dll_zeph_log_error(2, 12, "%s\n%s", std::string(1100, 'x').c_str(), "second line of an over-long entry");
}

std::string read_file(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fputs("usage: same_bytes LOG GOLDEN [--write]\n", stderr);
        return 2;
    }
    std::remove(argv[1]);
    log_sequence();
    const std::string logged = read_file(argv[1]);
    if (argc > 3 && std::strcmp(argv[3], "--write") == 0) {
        std::ofstream(argv[2], std::ios::binary) << logged;
        return 0;
    }
    if (logged.empty() || logged != read_file(argv[2])) {
        std::fprintf(stderr, "%s (%zu bytes) differs from %s\n", argv[1], logged.size(), argv[2]);
        return 1;
    }
    std::puts("same bytes as the golden file");
    return 0;
}

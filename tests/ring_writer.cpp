// A writer in a process of its own: ring_writer PATH FIRST COUNT stores the numbered test entries FIRST to
// FIRST + COUNT - 1 in PATH, each under the writer's lock.
#include "tool_support.h"

#include <cstdlib>
#include <exception>
#include <iostream>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::cerr << "usage: ring_writer PATH FIRST COUNT\n";
        return 2;
    }
    try {
        zephlog::test::store_numbered(argv[1], static_cast<unsigned>(std::atoi(argv[2])),
                                      static_cast<unsigned>(std::atoi(argv[3])));
    } catch (const std::exception &e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}

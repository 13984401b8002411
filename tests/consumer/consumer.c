/* A C program using the installed library: its own string table, then a fatal entry whose box shows the prefix. */
#include <zephlog.h>
#include <zephlog_strings.h>

ZEPHLOG_STRING_TABLE({42054, "consumer %8 %9| "}, {42062, "C-FATAL"})

int main(void) {
    dll_zeph_log_error(5, 7, "written from C");
    return 0;
}

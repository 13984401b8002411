/*
 * String tables for zephlog on platforms without resource files.
 *
 * A module (the program, or a shared library) defines its strings once, in one of its own source files:
 *
 *     #include <zephlog_strings.h>
 *     ZEPHLOG_STRING_TABLE(
 *         {42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "},
 *         {42055, "A"}, {42056, "P"},
 *         {42057, "INFO"}, {42058, "WARNING"}, {42059, "ERROR"},
 *         {42060, "SEVERE"}, {42061, "CRITICAL"}, {42062, "FATAL"})
 *
 * and names itself with dll_set_zeph_log_inst: the program passes NULL (or never calls it), a shared library
 * passes the handle that dlopen returns for it. The table is found by its exported symbol, in that module only;
 * a module without a table, or a table without an id, gives empty strings.
 *
 * A program must export the symbol from its dynamic symbol table: the zephlog CMake package and zephlog.pc add
 * the link flag -Wl,--export-dynamic-symbol=zephlog_string_table for that.
 *
 * This header compiles as C and as C++.
 */
#ifndef ZEPHLOG_STRINGS_H
#define ZEPHLOG_STRINGS_H

#ifdef __cplusplus
#  define ZEPHLOG_STRINGS_EXTERN extern "C"
#else
#  define ZEPHLOG_STRINGS_EXTERN
#endif

struct zephlog_string {
    unsigned id;      /* 0 ends the table */
    const char *text;
};

#define ZEPHLOG_STRING_TABLE_SYMBOL "zephlog_string_table"

#if defined(_WIN32)
/* On Windows the strings are the module's STRINGTABLE resource (an .rc file); the table in the source is unused. */
#  define ZEPHLOG_STRING_TABLE(...)
#else
#  define ZEPHLOG_STRING_TABLE(...)                                                                                    \
    ZEPHLOG_STRINGS_EXTERN __attribute__((visibility("default"), used))                                               \
    const struct zephlog_string zephlog_string_table[] = {__VA_ARGS__, {0, 0}};
#endif

#endif /* ZEPHLOG_STRINGS_H */

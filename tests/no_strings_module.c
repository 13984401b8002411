/* A shared library without a string table that depends on one with a table: the loader must not take the
 * dependency's table for this module's. */
#include <zephlog_strings.h>

extern const struct zephlog_string zephlog_string_table[];

const void *no_strings_module_dependency(void) { return zephlog_string_table; }

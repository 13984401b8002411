/* A shared library with its own string table, written in C: the table macro must work there too. */
#include <zephlog_strings.h>

ZEPHLOG_STRING_TABLE(
    {42054, "module %8 %9: "},
    {42055, "a"}, {42056, "p"},
    {42057, "M-INFO"}, {42058, "M-WARN"}, {42059, "M-ERROR"},
    {42060, "M-SEVERE"}, {42061, "M-CRIT"}, {42062, "M-FATAL"},
    {1, "a text of exactly 24 chrs"})

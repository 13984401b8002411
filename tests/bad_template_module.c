/* A module whose prefix template reads past the nine inserts: every call fails its expansion. */
#include <zephlog_strings.h>

ZEPHLOG_STRING_TABLE({42054, "%10 beyond the fields"})

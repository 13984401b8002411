/* A module that holds nothing but its string table (bad_template.rc). */
int zephlog_test_module_marker;

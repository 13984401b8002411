// A small backup job that reports through zephlog.
//
// The wording of every entry's prefix belongs to the application: its string table below holds the template,
// the half-day markers and the six type labels, and the library reads them at every call. The entry's lines go to
// the shared log file; the prefix shows only where an entry is shown whole, in the box of a fatal entry.
//
//   zephlog_example           logs one run of the job: an entry in each message mode, a multi-line one and an
//                             over-long one
//   zephlog_example --fatal   then stops on a fatal entry: its box text goes to standard error, status 255
#include <zephlog.h>
#include <zephlog_strings.h>

#include <cstdio>
#include <cstring>
#include <string>

// Template inserts: %1 year, %2 month, %3 day, %4 hour (01..12), %5 minute, %6 second, %7 half-day marker (its
// first character), %8 the five-digit number, %9 the label, nine characters wide.
ZEPHLOG_STRING_TABLE(
    {42054, "%2/%3/%1 %4:%5:%6 %7M backup[%8] %9| "},
    {42055, "AM"}, {42056, "PM"},
    {42057, "INFO"}, {42058, "NOTICE"}, {42059, "WARNING"},
    {42060, "ERROR"}, {42061, "CRITICAL"}, {42062, "FATAL"})

namespace {

enum entry_type { info, notice, warning, error, critical, fatal };

// Error numbers of the backup job.
enum error_number { job_started = 100, disk_usage = 110, copy_failed = 120, template_kept = 130,
                    summary = 140, long_listing = 150, config_unreadable = 199 };

void log_one_run() {
    // Verbatim: no percent sign, the text is stored as written.
    dll_zeph_log_error(info, job_started, "Nightly backup started");
    // printf rules: any percent sign but %1.
    dll_zeph_log_error(notice, disk_usage, "Target %s is %d%% full", "/srv/backup", 91);
    // Positional: %1%, %2%, ... each take one string argument, in Boost.Format syntax.
    dll_zeph_log_error(warning, copy_failed, "Copy of %1% failed after %2% tries", "/home/ann/mail", "3");
    // A lone %1 keeps the message word for word, arguments or not.
    dll_zeph_log_error(error, template_kept, "Placeholder %1 in the job file was not filled in");
    // Line feeds make lines; a fourth line and everything after it are dropped.
    dll_zeph_log_error(notice, summary, "Backup finished\nfiles copied: 1200\nfiles failed: 1\nnot stored");
    // An over-long entry: each line keeps 78 characters in the file, and the whole line is cut to fit its buffer.
    const std::string listing(2000, '#');
    dll_zeph_log_error(critical, long_listing, "Unexpected files: %s", listing.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    dll_set_zeph_log_inst(nullptr);  // the program itself holds the strings
    log_one_run();
    std::printf("logged 6 entries\n");
    std::fflush(stdout);
    if (argc > 1 && std::strcmp(argv[1], "--fatal") == 0) {
        // Type 5: the entry is shown (standard error here, a dialog where a display is available), not stored,
        // and the process ends with exit code -1.
        dll_zeph_log_error(fatal, config_unreadable, "Configuration %1% is unreadable", "/etc/backup.conf");
    }
    return 0;
}

// zephlog: reads, follows, checks and writes the shared error log from the command line.
#include "filter.h"
#include "follow.h"
#include "log_image.h"
#include "output.h"
#include "shell_log.h"
#include "watch.h"

#include "store/writer.h"
#include "zephlog.h"
#include "zephlog_strings.h"

#include <CLI/CLI.hpp>
#include <boost/format/exceptions.hpp>

#include <cstdio>
#include <ctime>
#include <iostream>

// The prefix strings of entries logged with `zephlog log` (the prefix shows only in the fatal box), with the same
// type names the reader shows by default.
ZEPHLOG_STRING_TABLE(
    {42054, "%1/%2/%3 %4:%5:%6%7 %8 %9: "},
    {42055, "A"}, {42056, "P"},
    {42057, zephlog::tools::default_type_names[0]}, {42058, zephlog::tools::default_type_names[1]},
    {42059, zephlog::tools::default_type_names[2]}, {42060, zephlog::tools::default_type_names[3]},
    {42061, zephlog::tools::default_type_names[4]}, {42062, zephlog::tools::default_type_names[5]})

namespace {

using namespace zephlog::tools;

constexpr int status_ok = 0;
constexpr int status_failed = 1;  // the file cannot be read, has faults, or the entry cannot be logged
constexpr int status_usage = 2;

constexpr std::size_t default_follow_lines = 10;

// The file the library stores its entries in.
std::string default_file() { return zephlog::store::system_log().path; }

// A mistake in the command line found after parsing.
struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct reading_options {
    std::string file = default_file();
    bool reverse = false;
    bool follow = false;
    int last = -1;
    std::string output = "text";
    std::vector<std::string> types;
    std::vector<int> numbers;
    std::string since, until;
    std::string labels;

    output_format format() const { return output == "json" ? output_format::json : output_format::text; }
};

void add_file_argument(CLI::App &command, std::string &file) {
    command.add_option("FILE", file, "Log file to read")->capture_default_str();
}

void add_reading_options(CLI::App &command, reading_options &options) {
    add_file_argument(command, options.file);
    command.add_option("-n,--lines", options.last, "Show only the last N records (follow: 10 by default)")
        ->check(CLI::NonNegativeNumber);
    command.add_option("-o,--output", options.output, "text, or json: one object per line")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    command.add_option("-t,--type", options.types, "Only these types: numbers 0..5 or names, comma-separated")
        ->delimiter(',');
    command.add_option("-e,--number", options.numbers, "Only these error numbers, comma-separated")
        ->delimiter(',')
        ->check(CLI::Range(0, 65535));
    command.add_option("-S,--since", options.since, "Only records at or after this time (see below)");
    command.add_option("-U,--until", options.until, "Only records at or before this time");
    std::string defaults;
    for (const char *name : default_type_names) defaults += (defaults.empty() ? "" : ",") + std::string(name);
    command.add_option("--labels", options.labels,
                       "Names of types 0..5, comma-separated (default " + defaults + "; empty for none)")
        ->envname("ZEPHLOG_LABELS");
}

type_labels labels_from(const reading_options &options, const CLI::App &command) {
    type_labels labels;
    if (command.count("--labels") == 0 && std::getenv("ZEPHLOG_LABELS") == nullptr) return labels;
    labels.names = {};
    std::size_t index = 0;
    for (const std::string &name : CLI::detail::split(options.labels, ',')) {
        if (index == labels.names.size()) throw usage_error("--labels: at most six names, for types 0 to 5");
        labels.names[index++] = name;
    }
    return labels;
}

record_filter filter_from(const reading_options &options, const type_labels &labels) {
    record_filter filter;
    for (const std::string &text : options.types) {
        const int type = labels.type_of(text);
        if (type < 0) throw usage_error("--type: '" + text + "' is neither a type 0..5 nor one of its names");
        filter.types.push_back(type);
    }
    for (int number : options.numbers) filter.numbers.push_back(static_cast<std::uint16_t>(number));
    const std::time_t now = std::time(nullptr);
    auto time_of = [now](const std::string &text, const char *option) -> std::optional<std::int64_t> {
        if (text.empty()) return {};
        if (auto time = parse_time(text, now)) return time;
        throw usage_error(std::string(option) + ": cannot read '" + text + "' as a time");
    };
    filter.since = time_of(options.since, "--since");
    filter.until = time_of(options.until, "--until");
    return filter;
}

void print(const std::vector<kept_record> &records, const type_labels &labels, output_format format) {
    for (const kept_record &entry : records) std::cout << format_record(entry, labels, format) << '\n';
    std::cout.flush();
}

int show(const reading_options &options, const type_labels &labels, const record_filter &filter) {
    std::vector<kept_record> records = kept_records(log_image::read(options.file));
    std::optional<std::size_t> last;
    if (options.last >= 0) last = static_cast<std::size_t>(options.last);
    records = select(std::move(records), filter, last);
    if (options.reverse) std::reverse(records.begin(), records.end());
    if (records.empty() && options.format() == output_format::text) std::cout << "-- no entries --\n";
    print(records, labels, options.format());
    return status_ok;
}

void report_loss(output_format format) {
    // JSON readers get only records on standard output; the notice goes to standard error for them.
    std::ostream &out = format == output_format::json ? std::cerr : std::cout;
    out << "-- more than 999 entries arrived since the last look: the oldest of them were overwritten unread --"
        << std::endl;
}

int follow(const reading_options &options, const type_labels &labels, const record_filter &filter) {
    catch_stop_signals();
    log_image image = log_image::read(options.file);
    const std::size_t last = options.last >= 0 ? static_cast<std::size_t>(options.last) : default_follow_lines;
    print(select(kept_records(image), filter, last), labels, options.format());
    ring_follower follower(image);
    change_watch watch(options.file);
    while (watch.wait()) {
        image = log_image::read(options.file);
        kept_records(image);  // throws when the file went bad
        ring_follower::step step = follower.advance(image);
        if (step.lost) report_loss(options.format());
        print(select(std::move(step.arrived), filter, {}), labels, options.format());
    }
    return status_ok;
}

int verify_file(const std::string &file) {
    const log_image image = log_image::read(file);
    const std::vector<fault> faults = verify(image);
    for (const fault &f : faults) std::cout << file << ": " << describe(f) << '\n';
    if (!faults.empty()) {
        std::cout << file << ": " << faults.size() << (faults.size() == 1 ? " fault\n" : " faults\n");
        return status_failed;
    }
    const zephlog::store::log_header header = image.header();
    std::cout << file << ": ok, " << zephlog::store::kept_count(header) << " records kept (first_slot "
              << header.first_slot << ", mark_slot " << header.mark_slot << ", next_slot " << header.next_slot
              << ")\n";
    return status_ok;
}

struct log_options {
    int type = 0;
    int number = 0;
    std::string message;
    std::vector<std::string> args;
};

constexpr const char *time_forms =
    "Times (--since, --until) are local: '2026-12-11 08:30[:05]', '2026-12-11', '08:30' (today), 'today', "
    "'yesterday', 'now', '-15m' or '+2h' (s, m, h, d from now), '@1765441800' (seconds since 1970).";

std::string footer() {
    return std::string(time_forms) +
           "\n\nFILE defaults to " + default_file() + ", the path compiled into the library.\n"
           "JSON lines hold time (seconds since 1970), iso, slot, type, type_name, number and lines. Lines are "
           "UTF-8; a line with other bytes has them replaced by U+FFFD, and the record then also has lines_hex "
           "with every line's exact bytes.\n"
           "Exit status: 0 success, 1 the file cannot be read or has faults (or the entry was not logged), "
           "2 a wrong command line; 255 after a fatal (type 5) entry.\n";
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"zephlog: read, follow, check and write the shared error log."};
    app.require_subcommand(1);

    reading_options reading;
    CLI::App *show_command = app.add_subcommand("show", "Print the kept records, oldest first");
    add_reading_options(*show_command, reading);
    show_command->add_flag("-r,--reverse", reading.reverse, "Newest first");
    show_command->add_flag("-f,--follow", reading.follow, "Keep printing new records as they are stored");

    reading_options following;
    CLI::App *follow_command =
        app.add_subcommand("follow", "Print the last records, then new ones as they are stored (Ctrl-C stops)");
    add_reading_options(*follow_command, following);

    log_options entry;
    CLI::App *log_command = app.add_subcommand(
        "log", "Store an entry through the library, like logger(1); type 5 is fatal: its box text goes to "
               "standard error and the status is 255");
    log_command->add_option("TYPE", entry.type, "Entry type 0..5")->required()->check(CLI::Range(0, 5));
    log_command->add_option("NUMBER", entry.number, "Error number 0..65535")->required()->check(CLI::Range(0, 65535));
    log_command->add_option("MESSAGE", entry.message, "Message: %1% %2% ... positional, %s printf, else as written")
        ->required();
    log_command->add_option("ARG", entry.args, "The message's arguments, strings (at most 20)");
    log_command->positionals_at_end();

    std::string verify_path = default_file();
    CLI::App *verify_command = app.add_subcommand("verify", "Check the file and report every fault with its slot");
    add_file_argument(*verify_command, verify_path);

    for (CLI::App *command : {&app, show_command, follow_command, log_command, verify_command}) {
        command->footer(footer());
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e) == 0 ? status_ok : status_usage;
    }

    try {
        if (*log_command) {
            log_from_shell(entry.type, entry.number, entry.message, entry.args, dll_zeph_log_error);
            return status_ok;
        }
        if (*verify_command) return verify_file(verify_path);
        const bool is_show = show_command->parsed();
        const reading_options &options = is_show ? reading : following;
        const CLI::App &command = is_show ? *show_command : *follow_command;
        if (options.follow && options.reverse) throw usage_error("--reverse cannot be used with --follow");
        const type_labels labels = labels_from(options, command);
        const record_filter filter = filter_from(options, labels);
        return is_show && !options.follow ? show(options, labels, filter) : follow(options, labels, filter);
    } catch (const usage_error &e) {
        std::cerr << "zephlog: " << e.what() << '\n';
        return status_usage;
    } catch (const boost::io::format_error &e) {
        std::cerr << "zephlog log: the positional message is not valid: " << e.what() << '\n';
        return status_usage;
    } catch (const std::invalid_argument &e) {
        std::cerr << "zephlog log: " << e.what() << '\n';
        return status_usage;
    } catch (const std::exception &e) {
        std::cerr << "zephlog: " << e.what() << '\n';
        return status_failed;
    }
}

// The zephlog command as users run it: a child process reading, following and checking log files, and logging
// entries through the library.
#include "tool_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace zephlog::test {
namespace {

using nlohmann::json;

const std::string golden_path = std::string(ZEPHLOG_TEST_DATA) + "/golden.log";

class ZephlogCommand : public testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);  // the children show times in UTC
        unsetenv("ZEPHLOG_LABELS");
    }
    temp_dir dir;
};

std::vector<json> json_lines(const std::string &text) {
    std::vector<json> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) objects.push_back(json::parse(line));  // strict UTF-8
    return objects;
}

std::vector<unsigned> numbers_in(const std::vector<json> &objects) {
    std::vector<unsigned> numbers;
    for (const json &object : objects) numbers.push_back(object.at("number").get<unsigned>());
    return numbers;
}

std::string unhex(const std::string &hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

TEST_F(ZephlogCommand, ShowsTheGoldenFileAsText) {
    const run_result shown = zephlog({"show", golden_path}, dir);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out,
              "2025-12-11 08:30:00 00001 0 INFO      Service started\n"
              "2025-12-11 08:30:01 00017 1 NOTICE    Disk /var is 91% full\n"
              "2025-12-11 08:31:02 00042 2 WARNING   Three lines:\n"
              "                                      second line\n"
              "                                      third line\n"
              "2025-12-11 09:30:00 00500 3 ERROR     " + std::string(78, 'x') + "\n"
              "2025-12-11 21:20:00 65535 4 SEVERE    caf\\xe9 \\x1b[31m\n"
              "                                      ends with CR\\x0d\n");
    const run_result labelled = zephlog({"show", "-r", "-n", "1", "--labels", "a,b,c,d,Bad", golden_path}, dir);
    EXPECT_EQ(labelled.out.substr(0, 38), "2025-12-11 21:20:00 65535 4 Bad       ");
}

TEST_F(ZephlogCommand, JsonLinesParseBackToTheRecords) {
    // A file with every byte value 1..255 in its lines, next to the golden one.
    const std::string path = dir.file("bytes.log");
    store_numbered(path, 0, 1);
    std::vector<std::string> lines;
    for (int start = 1; start < 256; start += 78) {
        std::string line;
        for (int b = start; b < std::min(start + 78, 256); ++b) line += static_cast<char>(b);
        lines.push_back(line);
    }
    const std::vector<std::string_view> views(lines.begin(), lines.begin() + 3);
    store::log_destination destination{&platform::system_file_ops, path.c_str()};
    ASSERT_TRUE(store::store_record(destination, store::make_record(-1, 3, 7, views)));

    for (const std::string &file : {golden_path, path}) {
        SCOPED_TRACE(file);
        const run_result shown = zephlog({"show", "-o", "json", file}, dir);
        ASSERT_EQ(shown.status, 0) << shown.err;
        const std::vector<json> objects = json_lines(shown.out);
        std::vector<std::uint8_t> bytes = read_bytes(file);
        ASSERT_EQ(objects.size(), bytes[4]);  // next_slot: these files start at slot 0
        for (std::size_t slot = 0; slot < objects.size(); ++slot) {
            const json &object = objects[slot];
            const auto offset = store::slot_offset(static_cast<std::uint16_t>(slot));
            const std::span<const std::uint8_t, store::record_size> stored(&bytes[offset], store::record_size);
            const store::log_record record = store::decode_record(stored);
            EXPECT_EQ(object.at("slot"), slot);
            EXPECT_EQ(object.at("time"), record.entry_time);
            EXPECT_EQ(object.at("type"), record.entry_type);
            EXPECT_EQ(object.at("number"), record.error_number);
            ASSERT_EQ(object.at("lines").size(), record.line_count);
            const bool exact = object.contains("lines_hex");
            for (int i = 0; i < record.line_count; ++i) {
                const std::string line =
                    exact ? unhex(object.at("lines_hex")[i]) : object.at("lines")[i].get<std::string>();
                EXPECT_EQ(line, record.line(i));
            }
        }
    }
    const std::vector<json> last = json_lines(zephlog({"show", "-o", "json", "-n", "1", path}, dir).out);
    EXPECT_EQ(last[0].at("iso"), "1969-12-31T23:59:59+00:00");
    EXPECT_EQ(last[0].at("type_name"), "ERROR");
    EXPECT_EQ(last[0].at("lines")[0].get<std::string>().substr(0, 3), "\x01\x02\x03");  // controls escaped, intact
}

TEST_F(ZephlogCommand, FiltersByTypeNumberAndTime) {
    const std::pair<std::vector<std::string>, std::vector<unsigned>> cases[] = {
        {{}, {1, 17, 42, 500, 65535}},
        {{"-t", "2,3"}, {42, 500}},
        {{"--type", "warning", "-t", "0"}, {1, 42}},
        {{"-e", "42,65535"}, {42, 65535}},
        {{"--since", "2025-12-11 09:00"}, {500, 65535}},
        {{"--until", "@1765441801"}, {1, 17}},
        {{"--since", "2025-12-11 08:30:01", "--until", "2025-12-11 09:30"}, {17, 42, 500}},
        {{"-n", "2"}, {500, 65535}},
        {{"-r", "-n", "2"}, {65535, 500}},
        {{"-t", "0,1,2", "-n", "1"}, {42}},
        {{"-e", "9"}, {}},
    };
    for (const auto &[options, numbers] : cases) {
        std::vector<std::string> args{"show", "-o", "json", golden_path};
        args.insert(args.end(), options.begin(), options.end());
        const run_result shown = zephlog(args, dir);
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(numbers_in(json_lines(shown.out)), numbers) << testing::PrintToString(options);
    }
    for (const std::vector<std::string> &wrong :
         {std::vector<std::string>{"-t", "7"}, {"-t", "LOUD"}, {"--since", "soon"}, {"-e", "70000"}, {"-o", "xml"}}) {
        std::vector<std::string> args{"show", golden_path};
        args.insert(args.end(), wrong.begin(), wrong.end());
        const run_result shown = zephlog(args, dir);
        EXPECT_EQ(shown.status, 2) << testing::PrintToString(wrong);
        EXPECT_EQ(shown.out, "");
        EXPECT_NE(shown.err, "");
    }
}

// Files that cannot be read as a log: every reading command says why and fails, and the file stays as it was.
TEST_F(ZephlogCommand, BadFilesGiveAClearMessageAndAFailure) {
    const std::string ring = dir.file("ring.log");
    store_numbered(ring, 0, 5);
    std::vector<std::uint8_t> bytes = read_bytes(ring);
    auto variant = [&](const std::string &name, std::vector<std::uint8_t> content) {
        write_bytes(dir.file(name), content);
        return dir.file(name);
    };
    std::vector<std::uint8_t> bad_header = bytes, cut = bytes;
    bad_header[5] = 0x10;
    cut.resize(store::slot_offset(2));
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("missing.log"), "no such file"},
        {variant("empty.log", {}), "the file is empty"},
        {variant("short.log", {1, 0, 2}), "shorter than its 6-byte header"},
        {variant("bad-header.log", bad_header), "header field next_slot is 4101"},
        {variant("cut.log", cut), "before kept slots 2 to 4"},
        {dir.file(""), "is a directory"},
        {fifo, "not a regular file"},
    };
    for (const auto &[path, message] : cases) {
        const bool regular = std::filesystem::is_regular_file(path);
        const std::vector<std::uint8_t> before = regular ? read_bytes(path) : std::vector<std::uint8_t>{};
        for (const char *command : {"show", "follow", "verify"}) {
            SCOPED_TRACE(std::string(command) + " " + path);
            const run_result result = zephlog({command, path}, dir);
            EXPECT_EQ(result.status, 1);
            EXPECT_NE((result.out + result.err).find(message), std::string::npos) << result.out << result.err;
        }
        if (regular) {
            EXPECT_EQ(read_bytes(path), before);
        }
    }
    if (geteuid() != 0) {  // root reads whatever the mode says
        const std::string locked_out = variant("unreadable.log", bytes);
        chmod(locked_out.c_str(), 0);
        const run_result result = zephlog({"show", locked_out}, dir);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("permission denied"), std::string::npos);
    }
}

TEST_F(ZephlogCommand, VerifyPassesAGoodFileAndListsEveryFault) {
    const run_result good = zephlog({"verify", golden_path}, dir);
    EXPECT_EQ(good.status, 0);
    EXPECT_NE(good.out.find("ok, 5 records kept"), std::string::npos);

    std::vector<std::uint8_t> bytes = read_bytes(golden_path);
    bytes[store::slot_offset(1) + store::tag_offset] = 0;
    bytes[store::slot_offset(1) + store::tag_offset + 1] = 0;
    bytes[store::slot_offset(4) + store::line_count_offset] = 9;
    write_bytes(dir.file("damaged.log"), bytes);
    const run_result damaged = zephlog({"verify", dir.file("damaged.log")}, dir);
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.out.find("slot 1: record tag is 0, not 999"), std::string::npos);
    EXPECT_NE(damaged.out.find("slot 4: line count is 9, not 1 to 3"), std::string::npos);
    EXPECT_NE(damaged.out.find("2 faults"), std::string::npos);
}

// Polls `path` until it holds `lines` lines, for at most ten seconds.
std::string wait_for_lines(const std::string &path, std::size_t lines) {
    std::string text;
    for (int tries = 0; tries < 1000; ++tries) {
        text = read_text(path);
        if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
}

// True while no process holds a lock on the file: the exclusive lock the writer takes is granted at once.
bool lock_free(const std::string &path) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock{};
    lock.l_type = F_WRLCK;
    const bool free = fd >= 0 && fcntl(fd, F_OFD_SETLK, &lock) == 0;
    if (fd >= 0) close(fd);
    return free;
}

// Stops `child` at a moment when it holds no lock on `path`, so that a writer can go on meanwhile.
bool stop_outside_lock(pid_t child, const std::string &path) {
    for (int tries = 0; tries < 100; ++tries) {
        int status = 0;
        if (kill(child, SIGSTOP) != 0 || waitpid(child, &status, WUNTRACED) != child) return false;
        if (lock_free(path)) return true;
        kill(child, SIGCONT);  // stopped while reading: let it finish first
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST_F(ZephlogCommand, FollowPrintsNewRecordsAcrossTheWrapAndTellsOfLoss) {
    const std::string path = dir.file("LOGFILE.DAT");
    store_numbered(path, 0, 995);
    const std::string out = dir.file("follow.out"), err = dir.file("follow.err");
    const pid_t follower = start(ZEPHLOG_TOOL, {"follow", "-o", "json", "-n", "2", path}, out, err);
    EXPECT_EQ(numbers_in(json_lines(wait_for_lines(out, 2))), (std::vector<unsigned>{993, 994}));

    // Another process stores ten entries: slots 995 to 999, then 0 to 4.
    ASSERT_EQ(run(RING_WRITER, {path, "995", "10"}, dir).status, 0);
    std::vector<unsigned> expected{993, 994};
    for (unsigned n = 995; n < 1005; ++n) expected.push_back(n);
    EXPECT_EQ(numbers_in(json_lines(wait_for_lines(out, 12))), expected);

    // With the follower stopped, 1500 entries arrive: it shows the 999 kept and says that the rest were lost.
    ASSERT_TRUE(stop_outside_lock(follower, path));
    ASSERT_EQ(run(RING_WRITER, {path, "1005", "1500"}, dir).status, 0);
    kill(follower, SIGCONT);
    const std::vector<json> all = json_lines(wait_for_lines(out, 12 + 999));
    for (unsigned n = 1506; n < 2505; ++n) expected.push_back(n);
    EXPECT_EQ(numbers_in(all), expected);
    EXPECT_NE(read_text(err).find("more than 999 entries arrived"), std::string::npos);

    kill(follower, SIGINT);
    EXPECT_EQ(wait_for(follower), 0);  // Ctrl-C ends it cleanly
}

// The command logs into the compiled-in file, which tests leave alone: they run only calls that end before the
// file is touched. ShellLog in tool_file_test.cpp stores entries elsewhere.
TEST_F(ZephlogCommand, LogRefusesArgumentsTheMessageDoesNotTake) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"log", "2", "1", "Job %1% failed after %2% tries", "backup"}, "takes 2 argument(s), 1 given"},
        {{"log", "2", "1", "as written", "extra"}, "takes 0 argument(s), 1 given"},
        {{"log", "2", "1", "%d items", "5"}, "only %s conversions"},
        {{"log", "2", "1", "%1% and %", "x"}, "positional message is not valid"},
        {{"log", "6", "1", "type"}, "TYPE"},
        {{"log", "2", "65536", "number"}, "NUMBER"},
    };
    for (const auto &[args, message] : cases) {
        const run_result result = zephlog(args, dir);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
}

TEST_F(ZephlogCommand, LogWithTypeFiveEndsLikeAFatalEntry) {
    const run_result fatal = zephlog({"log", "5", "99", "Configuration %1% is unreadable", "/etc/x.conf"}, dir);
    EXPECT_EQ(fatal.status, 255);
    EXPECT_NE(fatal.err.find("Fatal Error: "), std::string::npos);
    EXPECT_NE(fatal.err.find(" 00099 FATAL    : Configuration /etc/x.conf is unreadable"), std::string::npos);
}

}  // namespace
}  // namespace zephlog::test

// Helpers for the tests of the zephlog command: temporary log files, written through the real writer or byte by
// byte, and the command run as a child process.
#pragma once

#include "store/format.h"
#include "store/writer.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zephlog::test {

// A directory of its own for each test, so that tests can run in parallel; removed with what it holds.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;

    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The record of the n-th entry of a test: number n (mod 65536), time base + n, type n % 5, line "entry n".
store::log_record numbered_record(unsigned n);

// Stores the entries first .. first + count - 1 in `path` through the writer, under its lock.
void store_numbered(const std::string &path, unsigned first, unsigned count);

std::vector<std::uint8_t> read_bytes(const std::string &path);
void write_bytes(const std::string &path, const std::vector<std::uint8_t> &bytes);

struct run_result {
    int status;  // the exit status, or 128 + the signal that ended the program
    std::string out;
    std::string err;
};

// Runs `program` with `args`, its output caught in files of `dir`, and waits for it.
run_result run(const std::string &program, const std::vector<std::string> &args, const temp_dir &dir);

// Runs the zephlog command.
run_result zephlog(const std::vector<std::string> &args, const temp_dir &dir);

// Starts `program` with its standard output and error going to the given files; does not wait.
pid_t start(const std::string &program, const std::vector<std::string> &args, const std::string &out_path,
            const std::string &err_path);
int wait_for(pid_t child);

std::string read_text(const std::string &path);

}  // namespace zephlog::test

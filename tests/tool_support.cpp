#include "tool_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace zephlog::test {

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zephlog-tool-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

store::log_record numbered_record(unsigned n) {
    const std::string line = "entry " + std::to_string(n);
    const std::string_view lines[] = {line};
    return store::make_record(static_cast<std::int32_t>(1765400000 + n), static_cast<int>(n % 5),
                              static_cast<std::uint16_t>(n), lines);
}

void store_numbered(const std::string &path, unsigned first, unsigned count) {
    const store::log_destination destination{&platform::system_file_ops, path.c_str()};
    for (unsigned n = first; n < first + count; ++n) {
        if (!store::store_record(destination, numbered_record(n))) throw std::runtime_error("cannot store in " + path);
    }
}

std::vector<std::uint8_t> read_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string read_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t start(const std::string &program, const std::vector<std::string> &args, const std::string &out_path,
            const std::string &err_path) {
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + program);
    return child;
}

int wait_for(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

run_result run(const std::string &program, const std::vector<std::string> &args, const temp_dir &dir) {
    const std::string out = dir.file("stdout"), err = dir.file("stderr");
    const int status = wait_for(start(program, args, out, err));
    return {status, read_text(out), read_text(err)};
}

run_result zephlog(const std::vector<std::string> &args, const temp_dir &dir) { return run(ZEPHLOG_TOOL, args, dir); }

}  // namespace zephlog::test

// The log store shared by processes: children that log at once, and a holder killed while it has the lock.
#include "store_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>

namespace store_test {
namespace {

using zephlog::platform::cc_file;

// Child processes that wait at a common start line, then run `work(child)` and end with its status.
class Children {
public:
    template <typename Work>
    Children(int count, Work work) {
        int start[2];
        if (pipe(start) != 0) throw std::runtime_error("pipe");
        for (int child = 0; child < count; ++child) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(start[1]);
                char go;
                static_cast<void>(read(start[0], &go, 1));  // returns at end of file: the parent let go
                _exit(work(child));
            }
            pids_.push_back(pid);
        }
        close(start[0]);
        close(start[1]);  // everyone starts
    }

    // The exit status of every child; -1 for a child that did not end normally.
    std::vector<int> wait() {
        std::vector<int> statuses;
        for (const pid_t pid : pids_) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        }
        return statuses;
    }

private:
    std::vector<pid_t> pids_;
};

class Processes : public LogFileTest {
protected:
    // `count` children log `each` entries at once through the whole logging call.
    void log_at_once(int count, int each) {
        Children children(count, [&](int child) {
            for (int n = 0; n < each; ++n) {
                log_to(destination(), 1, child, "child %1% entry %2%", std::to_string(child).c_str(),
                       std::to_string(n).c_str());
            }
            return 0;
        });
        EXPECT_EQ(children.wait(), std::vector<int>(static_cast<std::size_t>(count), 0));
    }

    // The ring holds the newest entries: for each child a run that ends with its last entry, in its own order.
    void expect_newest(int count, int each) {
        const std::vector<log_record> kept = kept_records();
        ASSERT_EQ(kept.size(), std::size_t(std::min(count * each, int{max_kept})));
        std::map<int, std::vector<int>> seen;  // child -> its entries in ring order
        const std::regex pattern("child ([0-9]+) entry ([0-9]+)");
        for (const log_record &r : kept) {
            const std::string line(r.line(0));
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
            const int child = std::stoi(match[1]);
            EXPECT_EQ(r.record_tag, record_tag_value);
            EXPECT_EQ(r.line_count, 1);
            EXPECT_EQ(r.error_number, child);
            seen[child].push_back(std::stoi(match[2]));
        }
        for (const auto &[child, entries] : seen) {
            for (std::size_t k = 0; k < entries.size(); ++k) {
                ASSERT_EQ(entries[k], each - static_cast<int>(entries.size() - k)) << "child " << child;
            }
        }
    }
};

TEST_F(Processes, EightChildrenWrapTheRingWithoutLosingOrder) {
    log_at_once(8, 150);
    expect_newest(8, 150);
}

TEST_F(Processes, SixteenChildrenAllSucceed) {
    log_at_once(16, 20);
    expect_newest(16, 20);
}

// A write that stops after the record, with the lock held, until the process is killed.
int pause_pipe = -1;

std::size_t write_then_stop(const void *buffer, std::size_t size, std::size_t count, cc_file *file) {
    const std::size_t written = zephlog::platform::CCFWRITEBASE(buffer, size, count, file);
    if (size == record_size) {
        static_cast<void>(write(pause_pipe, "x", 1));
        for (;;) pause();
    }
    return written;
}

constexpr zephlog::platform::locked_file_ops stopping_ops{system_file_ops.open, system_file_ops.seek,
                                                          system_file_ops.read, write_then_stop,
                                                          system_file_ops.close};

TEST_F(Processes, HolderKilledWithTheLockDoesNotStopTheNext) {
    for (int n = 0; n < 3; ++n) store(n, {"before " + std::to_string(n)});
    int stopped[2];
    ASSERT_EQ(pipe(stopped), 0);
    pause_pipe = stopped[1];
    const pid_t holder = fork();
    if (holder == 0) {
        static_cast<void>(store_record({&stopping_ops, path.c_str()},
                                       record_of(9, 1, 1, {"killed"})));
        _exit(0);
    }
    char signal_byte;
    ASSERT_EQ(read(stopped[0], &signal_byte, 1), 1);  // the holder has written its record and holds the lock
    close(stopped[0]);
    close(stopped[1]);
    kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    ASSERT_TRUE(WIFSIGNALED(status));

    alarm(60);  // a lock left behind would hang here; the alarm ends the test instead
    store(10, {"after"});
    alarm(0);
    EXPECT_EQ(header(), (log_header{0, 0, 4}));
    EXPECT_EQ(kept_lines(), (std::vector<std::string>{"before 0", "before 1", "before 2", "after"}));
}

}  // namespace
}  // namespace store_test

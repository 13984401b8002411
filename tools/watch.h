// Waiting for the log file to change, until the user asks to stop (Ctrl-C or SIGTERM).
#pragma once

#include <string>

namespace zephlog::tools {

// Makes SIGINT and SIGTERM ask for a stop instead of ending the process at once.
void catch_stop_signals();
bool stop_requested();

class change_watch {
public:
    // Watches `path` with inotify where the system has it, and polls otherwise.
    explicit change_watch(const std::string &path);
    ~change_watch();
    change_watch(const change_watch &) = delete;
    change_watch &operator=(const change_watch &) = delete;

    // Returns when the file may have changed: after a change was seen, or after at most a second in any case
    // (a file replaced by another is seen that way). Returns false instead when a stop was requested.
    bool wait();
    bool uses_inotify() const { return inotify_ >= 0; }

private:
    std::string path_;
    int inotify_ = -1;
};

}  // namespace zephlog::tools

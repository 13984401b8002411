#include "watch.h"

#include <chrono>
#include <csignal>
#include <thread>

#if __has_include(<sys/inotify.h>)
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#define ZEPHLOG_HAVE_INOTIFY 1
#endif

namespace zephlog::tools {
namespace {

volatile std::sig_atomic_t stop_flag = 0;

extern "C" void on_stop_signal(int) { stop_flag = 1; }

constexpr auto look_interval = std::chrono::milliseconds(1000);
constexpr auto poll_interval = std::chrono::milliseconds(200);
constexpr auto stop_check = std::chrono::milliseconds(50);

// Sleeps for `span`, waking early on a stop request.
bool sleep_unless_stopped(std::chrono::milliseconds span) {
    for (auto slept = std::chrono::milliseconds(0); slept < span; slept += stop_check) {
        if (stop_requested()) return false;
        std::this_thread::sleep_for(stop_check);
    }
    return !stop_requested();
}

}  // namespace

void catch_stop_signals() {
#ifdef ZEPHLOG_HAVE_INOTIFY
    // Without SA_RESTART, so that a signal also cuts the wait in poll() short.
    struct sigaction action{};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#endif
}

bool stop_requested() { return stop_flag != 0; }

#ifdef ZEPHLOG_HAVE_INOTIFY

change_watch::change_watch(const std::string &path) : path_(path) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return;
    if (inotify_add_watch(inotify_, path_.c_str(), IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
        close(inotify_);
        inotify_ = -1;
    }
}

change_watch::~change_watch() {
    if (inotify_ >= 0) close(inotify_);
}

bool change_watch::wait() {
    if (inotify_ < 0) return sleep_unless_stopped(poll_interval);
    // Short rounds, so that a signal arriving just before poll() is noticed soon anyway.
    for (auto waited = std::chrono::milliseconds(0); waited < look_interval; waited += stop_check) {
        if (stop_requested()) return false;
        pollfd watched{inotify_, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(stop_check.count())) > 0) {
            alignas(inotify_event) char events[4096];
            while (read(inotify_, events, sizeof events) > 0) {
            }
            break;
        }
    }
    return !stop_requested();
}

#else

change_watch::change_watch(const std::string &path) : path_(path) {}
change_watch::~change_watch() = default;
bool change_watch::wait() { return sleep_unless_stopped(poll_interval); }

#endif

}  // namespace zephlog::tools

#include "interrupt_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM};
constexpr std::size_t kWatched = sizeof kWatchedSignals / sizeof kWatchedSignals[0];

// The write end of the watch's pipe, and what each signal did before the
// watch (the private folder's clean-up, or the default), for the handler.
std::atomic<int> signalPipe{-1};
struct sigaction previousActions[kWatched];

extern "C" void OnTerminatingSignal(int number) {
    const int savedErrno = errno;
    // The next one is not caught here: a user who presses Ctrl-C twice
    // means it, and what was in force before ends the program.
    for (std::size_t i = 0; i < kWatched; ++i)
        if (kWatchedSignals[i] == number)
            ::sigaction(number, &previousActions[i], nullptr);
    const int fd = signalPipe.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;  // no watch: the signals keep their default action
    signalPipe = pipe_[1];
    watcher_ = std::thread([this] { Watch(); });
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    ::sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kWatched; ++i)
        ::sigaction(kWatchedSignals[i], &action, &previousActions[i]);
}

InterruptWatch::~InterruptWatch() {
    if (pipe_[1] < 0)
        return;
    for (std::size_t i = 0; i < kWatched; ++i)
        ::sigaction(kWatchedSignals[i], &previousActions[i], nullptr);
    signalPipe = -1;
    const unsigned char end = 0;
    [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &end, 1);
    watcher_.join();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void InterruptWatch::Watch() {
    for (;;) {
        pollfd readable{pipe_[0], POLLIN, 0};
        if (::poll(&readable, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        unsigned char byte = 0;
        const ssize_t got = ::read(pipe_[0], &byte, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got != 1 || byte == 0)
            return;
        int none = 0;
        if (signal_.compare_exchange_strong(none, byte) && onSignal_)
            onSignal_(byte);
    }
}

#include "interrupt_signal.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>

// On Windows a console's Ctrl+C, Ctrl+Break and close arrive on a thread the
// system starts for the handler; it hands the event to the watch's thread
// through the same kind of pipe as on Linux, as SIGINT (Ctrl+C) or SIGTERM.

namespace {

std::atomic<int> signalPipe{-1};
std::atomic<bool> signalled{false};

BOOL WINAPI OnConsoleEvent(DWORD type) {
    const int number = type == CTRL_C_EVENT ? SIGINT : SIGTERM;
    // A second event is not caught here: the next handler (the default one)
    // ends the program.
    if (signalled.exchange(true))
        return FALSE;
    const int fd = signalPipe.load();
    if (fd < 0)
        return FALSE;
    const unsigned char byte = static_cast<unsigned char>(number);
    return ::_write(fd, &byte, 1) == 1 ? TRUE : FALSE;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (::_pipe(pipe_, 64, _O_BINARY | _O_NOINHERIT) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;  // no watch: the console's events keep their default action
    }
    signalled = false;
    signalPipe = pipe_[1];
    watcher_ = std::thread([this] { Watch(); });
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch() {
    if (pipe_[1] < 0)
        return;
    ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
    signalPipe = -1;
    const unsigned char end = 0;
    [[maybe_unused]] const int written = ::_write(pipe_[1], &end, 1);
    watcher_.join();
    ::_close(pipe_[0]);
    ::_close(pipe_[1]);
}

void InterruptWatch::Watch() {
    for (;;) {
        unsigned char byte = 0;
        if (::_read(pipe_[0], &byte, 1) != 1 || byte == 0)
            return;
        int none = 0;
        if (signal_.compare_exchange_strong(none, byte) && onSignal_)
            onSignal_(byte);
    }
}

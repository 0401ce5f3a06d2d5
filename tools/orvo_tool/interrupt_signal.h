#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/cycle_events.h"

// Ctrl-C (SIGINT) and SIGTERM while a command runs: the handler only writes
// the signal's number into a pipe; a thread of its own reads it and calls
// `onSignal` once, outside the handler. A second signal ends the program at
// once, as if nothing were watching. The handlers in force before are back
// when the watch ends.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void(int signal)> onSignal);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The signal that came, 0 when none did.
    int Signal() const { return signal_.load(); }

private:
    void Watch();

    std::function<void(int)> onSignal_;
    std::atomic<int> signal_{0};
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

// The exit code of a program ended by `signal`, as the shell reports one.
inline int ExitCodeOfSignal(int signal) { return 128 + signal; }

// How far a cycle has gone with the Orvo's flash, from the cycle's phases:
// what a cycle cut off now leaves in the Orvo.
class FlashWitness final : public CycleEventListener {
public:
    void OnCycleEvent(const CycleEvent& event) override;
    // One sentence for the user.
    std::string LeftText() const;

private:
    mutable std::mutex mutex_;
    bool erased_ = false;    // the erase began: the database is no longer whole
    bool stamping_ = false;  // the database is whole; its date stamp is being written
};

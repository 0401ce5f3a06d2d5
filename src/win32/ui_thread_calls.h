#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>

// Hands calls from the worker's and the clock's threads to the UI thread,
// through messages to one window of it. A call made on the UI thread runs at
// once (the operation monitor opens boxes from inside a tick, and a blocking
// post to one's own thread would never return).
class UiThreadCalls {
public:
    static constexpr UINT Message = WM_APP + 0x4F;  // the window procedure hands it to Handle

    // `window` belongs to the UI thread; the object is made on that thread.
    explicit UiThreadCalls(HWND window);
    UiThreadCalls(const UiThreadCalls&) = delete;
    UiThreadCalls& operator=(const UiThreadCalls&) = delete;

    // Runs `call` on the UI thread and returns once it has run (a box it
    // opens has been dismissed). False, without running it, once shut down:
    // then a waiting caller is released at once.
    bool RunAndWait(std::function<void()> call);
    // Queues `call` for the UI thread and returns.
    void Post(std::function<void()> call);
    // From here on nothing runs and nobody waits; calls still queued are dropped.
    void Shutdown();
    bool OnUiThread() const { return GetCurrentThreadId() == uiThread_; }

    // For the window procedure: runs what is queued when `message` is ours.
    bool Handle(UINT message);

private:
    struct Call {
        std::uint64_t number;
        std::function<void()> run;
    };

    HWND window_;
    DWORD uiThread_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<Call> queue_;
    std::uint64_t nextNumber_ = 1;
    // Calls that have run and whose callers have not yet seen it. A call may
    // end before an earlier one whose box is still open.
    std::set<std::uint64_t> doneNumbers_;
    bool shutDown_ = false;
};

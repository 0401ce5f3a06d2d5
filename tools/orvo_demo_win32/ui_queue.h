#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// The demo's own hand-over to the UI thread, served by the program's message
// loop: calls posted from any thread, calls after a delay, a tick every
// TickMs, and the longest the loop went without serving its tick (the UI
// thread's longest stall).
class UiQueue {
public:
    static constexpr UINT Message = WM_APP + 0x61;
    static constexpr int TickMs = 10;

    // Made on the UI thread.
    UiQueue();
    ~UiQueue();
    UiQueue(const UiQueue&) = delete;
    UiQueue& operator=(const UiQueue&) = delete;

    // Any thread: `call` runs on the UI thread soon, in the order posted.
    void Post(std::function<void()> call);
    // UI thread: `call` runs after `delayMs`.
    void Later(int delayMs, std::function<void()> call);
    // UI thread: `tick` runs at every tick.
    void OnTick(std::function<void()> tick) { tick_ = std::move(tick); }

    // For the message loop: serves `message` when it is one of ours.
    bool Handle(const MSG& message);

    // The stall meter counts from Start to Stop.
    void StartStallMeter();
    void StopStallMeter();
    long long LongestStallMs() const;

private:
    struct Delayed {
        std::chrono::steady_clock::time_point due;
        std::function<void()> call;
    };
    void RunPosted();
    void Tick();
    void MeasureGap();

    DWORD thread_;
    UINT_PTR timer_ = 0;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::vector<Delayed> delayed_;
    std::function<void()> tick_;
    bool metering_ = false;
    std::chrono::steady_clock::time_point lastTick_{};
    std::chrono::steady_clock::duration longestGap_{};
};

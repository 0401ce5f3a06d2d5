#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "common/view_port.h"
#include "update/cycle_requests.h"

// The cycle's own clock: a thread that ticks the operation monitor every
// 100 ms and the worker's presence and removal checks at the periods the
// worker asks for, so that no front end has to tick them for it. Wake ticks
// the monitor at once: a transfer that has ended calls it, and the worker
// goes on without waiting for the next tick.
//
// To the worker it is its view: the timers it runs itself are the monitor's,
// the arrival's and the removal's; the boxes and questions are the engine's
// requests; everything else (the download animation, repaints) goes on to
// the front end's view.
class EngineClock final : public ViewPort {
public:
    // `tick` runs on the clock's thread, one tick at a time, with the
    // timer's logical id (ViewTimerRules::OnTimer).
    EngineClock(ViewPort& view, std::function<void(int timerId)> tick);
    ~EngineClock() override;
    EngineClock(const EngineClock&) = delete;
    EngineClock& operator=(const EngineClock&) = delete;

    // Starts the thread once, with the monitor's timer armed.
    void Start(int monitorPeriodMs = MonitorPeriodMs);
    // Returns once the thread has ended; no tick runs afterwards.
    void Stop();
    // Any thread, never blocks.
    void Wake();

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RepaintAll() override { view_.RepaintAll(); }
    // While an engine runs on the clock, its boxes and questions are its
    // requests (null: the view's own, as before an engine).
    void AskThrough(CycleRequests* requests) { requests_ = requests; }
    void ShowMessageBox(const std::string& text) override {
        if (CycleRequests* requests = requests_.load())
            requests->ShowMessageBox(text);
        else
            view_.ShowMessageBox(text);
    }
    void ShowErrorBox(const std::string& text, const std::string& caption) override {
        if (CycleRequests* requests = requests_.load())
            requests->ShowErrorBox(text, caption);
        else
            view_.ShowErrorBox(text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        if (CycleRequests* requests = requests_.load())
            return requests->AskYesNo(text, caption);
        return view_.AskYesNo(text, caption);
    }

    static constexpr int MonitorPeriodMs = 100;
    static bool Runs(int timerId) {
        return timerId == MonitorTimer || timerId == ArrivalTimer || timerId == RemovalTimer;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    void Run();
    // The timers due at `now`, each rescheduled a period on; the monitor
    // first when woken. Called with the lock held.
    std::vector<int> TakeDue(Clock::time_point now);

    ViewPort& view_;
    std::atomic<CycleRequests*> requests_{nullptr};
    const std::function<void(int)> tick_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, Timer> timers_;
    bool woken_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

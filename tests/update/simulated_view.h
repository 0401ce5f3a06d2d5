#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/view_port.h"

// The main view's window for tests: timers fire in simulated time, driven by
// the test thread, which plays the UI thread. The worker runs on its real
// thread; the driver only moves the clock on while the worker is parked:
// waiting for the view (timer 1 or 4 armed: the worker clears StepEvent before
// arming them, so no tick can be lost), inside a simulated blocking operation
// (SleepFor), or finished. That makes every run take the same course.
class SimulatedView : public ViewPort {
public:
    struct ErrorBox {
        std::string text;
        std::string caption;
    };
    struct TimerStart {
        std::int64_t at;
        int id;
        int periodMs;
    };

    void SetTickHandler(std::function<void(int)> handler) { tick_ = std::move(handler); }
    void SetWorkerFinished(std::function<bool()> finished) { workerFinished_ = std::move(finished); }

    // --- ViewPort (worker thread, or the tick handler on the test thread)
    void StartTimer(int id, int periodMs) override {
        std::lock_guard lock(mutex_);
        timers_[id] = Timer{periodMs, now_ + periodMs};
        starts_.push_back({now_, id, periodMs});
        changed_.notify_all();
    }
    void StopTimer(int id) override {
        std::lock_guard lock(mutex_);
        timers_.erase(id);
        changed_.notify_all();
    }
    void RepaintAll() override {
        std::lock_guard lock(mutex_);
        ++repaints_;
    }
    void ShowMessageBox(const std::string& text) override { ShowErrorBox(text, {}); }
    // Answers every question with `answerYes`, keeping its text.
    bool AskYesNo(const std::string& text, const std::string&) override {
        std::lock_guard lock(mutex_);
        questions_.push_back(text);
        return answerYes;
    }
    std::vector<std::string> Questions() const { return Locked(questions_); }
    std::atomic<bool> answerYes{false};
    void ShowErrorBox(const std::string& text, const std::string& caption) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({text, caption});
    }

    // --- for fake operations on the worker thread: takes `ms` of simulated
    // time, or less if interrupted. Returns false when interrupted.
    bool SleepFor(int ms) {
        std::unique_lock lock(mutex_);
        if (interrupted_)
            return false;
        sleeperWake_ = now_ + ms;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !sleeperWake_ || interrupted_; });
        sleeperWake_.reset();
        changed_.notify_all();
        return !interrupted_;
    }
    void InterruptSleep() {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }

    // --- driver (test thread)
    // Moves simulated time on, one event at a time, until `done` holds while
    // the worker is parked, or `maxMs` of simulated time have passed. Returns
    // whether `done` held; false too when the worker failed to park in time
    // (a hang: see Hung()).
    bool RunUntil(const std::function<bool()>& done, std::int64_t maxMs = 600'000) {
        const std::int64_t limit = Now() + maxMs;
        for (;;) {
            if (!WaitUntilParked())
                return false;
            if (done())
                return true;
            std::unique_lock lock(mutex_);
            const auto next = NextEvent();
            if (!next || next->first > limit)
                return false;
            now_ = next->first;
            if (next->second < 0) {
                sleeperWake_.reset();
                changed_.notify_all();
                continue;
            }
            Timer& timer = timers_[next->second];
            timer.due += timer.period;
            lock.unlock();
            if (tick_)
                tick_(next->second);
        }
    }
    // Lets `ms` of simulated time pass with every tick they contain.
    void RunFor(std::int64_t ms) {
        const std::int64_t end = Now() + ms;
        RunUntil([this, end] { return Now() >= end; }, ms);
        std::lock_guard lock(mutex_);
        if (now_ < end)
            now_ = end;
    }

    std::int64_t Now() const { return Locked(now_); }
    bool Hung() const { return Locked(hung_); }
    bool TimerArmed(int id) const {
        std::lock_guard lock(mutex_);
        return timers_.count(id) != 0;
    }
    std::optional<int> TimerPeriod(int id) const {
        std::lock_guard lock(mutex_);
        const auto it = timers_.find(id);
        return it == timers_.end() ? std::nullopt : std::optional<int>(it->second.period);
    }
    std::vector<TimerStart> Starts() const { return Locked(starts_); }
    std::vector<ErrorBox> Boxes() const { return Locked(boxes_); }
    int Repaints() const { return Locked(repaints_); }

private:
    struct Timer {
        int period;
        std::int64_t due;
    };

    bool ParkedLocked() const {
        return (workerFinished_ && workerFinished_()) || sleeperWake_.has_value() || timers_.count(1) != 0 ||
               timers_.count(4) != 0;
    }

    bool WaitUntilParked() {
        // The worker's end is not announced through this lock: look again
        // every millisecond of real time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::unique_lock lock(mutex_);
        while (!ParkedLocked()) {
            if (std::chrono::steady_clock::now() > deadline) {
                hung_ = true;
                return false;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(1));
        }
        return true;
    }

    // The earliest due timer (lowest id on a tie) or the sleeper's wake-up
    // (id -1, after timers due at the same time).
    std::optional<std::pair<std::int64_t, int>> NextEvent() const {
        std::optional<std::pair<std::int64_t, int>> next;
        for (const auto& [id, timer] : timers_) {
            if (!next || timer.due < next->first)
                next = std::pair{timer.due, id};
        }
        if (sleeperWake_ && (!next || *sleeperWake_ < next->first))
            next = std::pair{*sleeperWake_, -1};
        return next;
    }

    template <class T>
    T Locked(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void(int)> tick_;
    std::function<bool()> workerFinished_;
    std::int64_t now_ = 0;
    std::map<int, Timer> timers_;
    std::optional<std::int64_t> sleeperWake_;
    bool interrupted_ = false;
    bool hung_ = false;
    std::vector<TimerStart> starts_;
    std::vector<ErrorBox> boxes_;
    std::vector<std::string> questions_;
    int repaints_ = 0;
};

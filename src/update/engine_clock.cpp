#include "update/engine_clock.h"

#include <algorithm>
#include <vector>

EngineClock::EngineClock(ViewPort& view, std::function<void(int timerId)> tick)
    : view_(view), tick_(std::move(tick)) {}

EngineClock::~EngineClock() { Stop(); }

void EngineClock::Start(int monitorPeriodMs) {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stopping_)
        return;
    timers_[MonitorTimer] = {std::chrono::milliseconds(monitorPeriodMs),
                             Clock::now() + std::chrono::milliseconds(monitorPeriodMs)};
    thread_ = std::thread([this] { Run(); });
}

void EngineClock::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void EngineClock::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

// A restarted timer takes its new period from now, as a view's timer does.
void EngineClock::StartTimer(int id, int periodMs) {
    if (!Runs(id)) {
        view_.StartTimer(id, periodMs);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        const std::chrono::milliseconds period(std::max(1, periodMs));
        timers_[id] = {period, Clock::now() + period};
    }
    changed_.notify_all();
}

void EngineClock::StopTimer(int id) {
    if (!Runs(id)) {
        view_.StopTimer(id);
        return;
    }
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

std::vector<int> EngineClock::TakeDue(Clock::time_point now) {
    std::vector<int> due;
    if (woken_) {
        woken_ = false;
        due.push_back(MonitorTimer);
    }
    for (auto& [id, timer] : timers_) {
        if (timer.due > now)
            continue;
        // A late tick is not made up for: the next one is a period away.
        timer.due = std::max(timer.due + timer.period, now);
        if (std::find(due.begin(), due.end(), id) == due.end())
            due.push_back(id);
    }
    return due;
}

void EngineClock::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
            return a.second.due < b.second.due;
        });
        // Any change of the timers ends the wait, so that the earliest is
        // looked for again; a wake-up before it is already in `woken_`.
        if (!woken_ && next == timers_.end())
            changed_.wait(lock);
        else if (!woken_)
            changed_.wait_until(lock, next->second.due);
        if (stopping_)
            break;
        for (const int id : TakeDue(Clock::now())) {
            // A timer stopped by an earlier tick of this round does not tick.
            if (id != MonitorTimer && timers_.count(id) == 0)
                continue;
            lock.unlock();
            tick_(id);
            lock.lock();
            if (stopping_)
                break;
        }
    }
}

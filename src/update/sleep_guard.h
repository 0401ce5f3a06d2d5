#pragma once

#include <bitset>
#include <mutex>

#include "common/cycle_events.h"

// What holds the system awake: a logind sleep inhibitor, or a fake in tests.
// Neither call may block its caller for long; both are called under the
// guard's lock, in order.
class SleepInhibitorPort {
public:
    virtual ~SleepInhibitorPort() = default;
    virtual void Hold() = 0;
    virtual void Release() = 0;
};

// For a front end whose platform offers no inhibitor it can reach: nothing
// is held. Passing it says so; leaving the inhibitor out is refused.
class NoSleepInhibitor final : public SleepInhibitorPort {
public:
    void Hold() override {}
    void Release() override {}
};

// Keeps the computer from sleeping while the Orvo is being erased, written,
// verified or date-stamped: a sleeping host would leave it half written. The
// hold begins with the first of those phases and ends when the last one open
// has ended, or with the cycle, whatever its outcome.
class SleepGuard : public CycleEventListener {
public:
    explicit SleepGuard(SleepInhibitorPort& port) : port_(port) {}
    ~SleepGuard() override;
    SleepGuard(const SleepGuard&) = delete;
    SleepGuard& operator=(const SleepGuard&) = delete;

    void OnCycleEvent(const CycleEvent& event) override;
    bool Holding() const;

private:
    static bool WritesDevice(CyclePhase phase);
    void Update();

    SleepInhibitorPort& port_;
    mutable std::mutex mutex_;
    std::bitset<CyclePhaseCount> open_;
    bool holding_ = false;
};

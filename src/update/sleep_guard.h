#pragma once

#include <bitset>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "common/cycle_events.h"

// What holds the system awake: the platform's (system_sleep_inhibitor.h), the
// window's own, or a fake in tests. Both calls come from the engine's
// threads, under the guard's lock, in order; Hold may wait a few seconds at
// most for the system's answer, Release does not wait.
class SleepInhibitorPort {
public:
    virtual ~SleepInhibitorPort() = default;
    virtual void Hold() = 0;
    virtual void Release() = 0;
    // After a Hold: whether the system granted it.
    virtual bool KeepsAwake() const = 0;
};

// For a front end whose platform offers no inhibitor it can reach: nothing
// is held. Passing it says so; leaving the inhibitor out is refused.
class NoSleepInhibitor final : public SleepInhibitorPort {
public:
    void Hold() override {}
    void Release() override {}
    bool KeepsAwake() const override { return false; }
};

// Keeps the computer from sleeping while the Orvo is being erased, written,
// verified or date-stamped: a sleeping host would leave it half written. The
// hold begins with the first of those phases and ends when the last one open
// has ended, or with the cycle, whatever its outcome. The first hold of each
// cycle is noted (for the log) with whether the system granted it: a user
// whose computer slept in the middle of a write can be told why.
class SleepGuard : public CycleEventListener {
public:
    using Note = std::function<void(const std::string& line)>;
    static constexpr const char* KeptAwakeNote = "the computer is kept from sleeping while the Orvo is written";
    static constexpr const char* NotKeptAwakeNote =
        "the computer could not be kept from sleeping while the Orvo is written";

    explicit SleepGuard(SleepInhibitorPort& port, Note note = {}) : port_(port), note_(std::move(note)) {}
    ~SleepGuard() override;
    SleepGuard(const SleepGuard&) = delete;
    SleepGuard& operator=(const SleepGuard&) = delete;

    void OnCycleEvent(const CycleEvent& event) override;
    bool Holding() const;

private:
    static bool WritesDevice(CyclePhase phase);
    void Update();

    SleepInhibitorPort& port_;
    Note note_;
    mutable std::mutex mutex_;
    std::bitset<CyclePhaseCount> open_;
    bool holding_ = false;
    bool notedThisCycle_ = false;
};

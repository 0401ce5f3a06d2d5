#pragma once

#include <atomic>

#include "update/sleep_guard.h"

class UiThreadCalls;

// Keeps Windows from sleeping while the Orvo is written. The system's
// execution state belongs to the thread that sets it, while the hold begins
// and ends on whichever thread publishes the write's phases: both are done
// on the UI thread, which lives as long as the window. A hold waits for the
// UI thread, so that the guard learns whether it was granted.
class ExecutionStateInhibitor final : public SleepInhibitorPort {
public:
    explicit ExecutionStateInhibitor(UiThreadCalls& calls) : calls_(calls) {}
    void Hold() override;
    void Release() override;
    bool KeepsAwake() const override { return granted_; }

private:
    UiThreadCalls& calls_;
    std::atomic<bool> granted_{false};
};

#pragma once

#include "update/sleep_guard.h"

class UiThreadCalls;

// Keeps Windows from sleeping while the Orvo is written. The system's
// execution state belongs to the thread that sets it, while the hold begins
// and ends on whichever thread publishes the write's phases: both are done
// on the UI thread, which lives as long as the window.
class ExecutionStateInhibitor final : public SleepInhibitorPort {
public:
    explicit ExecutionStateInhibitor(UiThreadCalls& calls) : calls_(calls) {}
    void Hold() override;
    void Release() override;

private:
    UiThreadCalls& calls_;
};

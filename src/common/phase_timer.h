#pragma once

#include <atomic>
#include <chrono>

#include "common/cycle_events.h"

// One phase of a cycle on the channel: PhaseStarted when built, PhaseEnded
// with the time measured on the steady clock when ended (a phase left without
// End, by an early return, ended in failure). While it runs, `running` names
// it, so that the operation monitor can say which phase its percent belongs
// to; the phase that ran before is named again afterwards.
class PhaseTimer {
public:
    static constexpr int NoPhase = -1;

    PhaseTimer(const CycleEventChannel& channel, std::atomic<int>& running, CyclePhase phase)
        : channel_(channel),
          running_(running),
          phase_(phase),
          outer_(running.exchange(static_cast<int>(phase))),
          started_(std::chrono::steady_clock::now()) {
        channel_.Publish(CycleEvents::PhaseStarted{phase_});
    }
    ~PhaseTimer() { End(false); }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;

    // Returns `succeeded`, so that a step can end its phase and report in one.
    bool End(bool succeeded) {
        if (ended_)
            return succeeded;
        ended_ = true;
        running_.store(outer_);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started_);
        channel_.Publish(CycleEvents::PhaseEnded{phase_, succeeded, elapsed});
        return succeeded;
    }

private:
    const CycleEventChannel& channel_;
    std::atomic<int>& running_;
    const CyclePhase phase_;
    const int outer_;
    const std::chrono::steady_clock::time_point started_;
    bool ended_ = false;
};

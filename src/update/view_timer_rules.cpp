#include "update/view_timer_rules.h"

#include "common/progress_bar_port.h"
#include "common/view_port.h"
#include "common/cycle_signals.h"

ViewTimerRules::ViewTimerRules(Targets targets) : targets_(std::move(targets)) {}

void ViewTimerRules::OnTimer(int timerId) {
    switch (timerId) {
    case MonitorTimer:
        if (targets_.monitorOperation)
            targets_.monitorOperation();
        break;
    case ArrivalTimer: ReleaseWorkerIf(targets_.findDevice(), ArrivalTimer); break;
    case ProgressTimer: AdvanceAnimation(); break;
    case RemovalTimer: ReleaseWorkerIf(!targets_.isAttached(targets_.signals.UnplugPath.Get()), RemovalTimer); break;
    default: break;
    }
}

// The timer stops in the tick that releases the worker, so each wait is
// released exactly once; it stops before the worker is woken, which may
// start the same timer again for its next wait at once.
void ViewTimerRules::ReleaseWorkerIf(bool condition, int timerId) {
    if (!condition)
        return;
    targets_.view.StopTimer(timerId);
    targets_.signals.StepEvent.Set();
}

void ViewTimerRules::AdvanceAnimation() {
    // The counter wraps rather than stopping at 100, however long the
    // download takes; the worker only ever resets it.
    const std::int32_t counter = NextCounter(targets_.progressCounter.load());
    targets_.progressCounter = counter;
    if (targets_.signals.ShowProgress.load() != 1)
        return;
    targets_.progressBar.SetText(PercentText(counter));
    targets_.progressBar.SetPos(counter);
}

std::string ViewTimerRules::PercentText(int value) { return std::to_string(value) + "%"; }

std::int32_t ViewTimerRules::NextCounter(std::int32_t counter) {
    // A value outside 0..99 (never written by the cycle) restarts at 0
    // instead of showing a negative percentage.
    if (counter < 0 || counter >= 99)
        return 0;
    return counter + 1;
}

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class ProgressBarPort;
class ViewPort;
struct CycleSignals;

// What each tick of the cycle's timers does, without the toolkit: the
// engine's clock calls OnTimer with the logical id of the monitor and the
// presence checks, the Qt view with the animation's, the tests' simulated
// view with all of them. One thread at a time.
class ViewTimerRules {
public:
    struct Targets {
        ViewPort& view;                            // to stop timers 1 and 4
        ProgressBarPort& progressBar;
        CycleSignals& signals;
        std::atomic<std::int32_t>& progressCounter;  // CDfuDevice::ProgressCounter
        std::function<bool()> findDevice;          // CDfuDevice::FindDevice
        std::function<void()> monitorOperation;    // CDfuDevice::MonitorOperation
        std::function<bool(const std::string&)> isAttached;  // CDfuDevice::IsAttached
    };

    explicit ViewTimerRules(Targets targets);

    void OnTimer(int timerId);

    // "%i%%" of a counter value, as timer 2 shows it.
    static std::string PercentText(int value);
    // The next animation step: 0 to 99, then 0 again.
    static std::int32_t NextCounter(std::int32_t counter);

private:
    void ReleaseWorkerIf(bool condition, int timerId);
    void AdvanceAnimation();

    Targets targets_;
};

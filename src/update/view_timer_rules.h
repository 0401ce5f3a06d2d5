#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class ProgressBarPort;
class ViewPort;
struct CycleSignals;

// What the main view does on each tick of its timers, without the toolkit:
// the Qt view and the tests' simulated view both call OnTimer with the
// logical id. Runs on the UI thread.
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

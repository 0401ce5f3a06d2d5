#include "update/update_cycle_run.h"

#include "device/dfu_device.h"

UpdateCycleRun::UpdateCycleRun(CDfuDevice& device, ViewPort& view, CycleSignals& signals,
                               const Resources& resources, DfuDeviceCycleOperations::Hooks hooks)
    : device_(device),
      clock_(view, [this](int timerId) { rules_.OnTimer(timerId); }),
      rules_({clock_, noBar_, signals, device.ProgressCounter, [&device] { return device.FindDevice(); },
              [&device] { device.MonitorOperation(); },
              [&device](const std::string& path) { return device.IsAttached(path); }}),
      operations_(device, std::move(hooks)),
      worker_(device, operations_, clock_, signals, resources) {}

UpdateCycleRun::~UpdateCycleRun() { StopAndJoin(); }

void UpdateCycleRun::Start() {
    device_.ListenForOperationEnds([this] { clock_.Wake(); });
    clock_.Start();
    worker_.Start();
}

// The clock first: the monitor and the stop of the running operation that
// the worker's interruption makes must not meet.
void UpdateCycleRun::StopAndJoin() {
    device_.ListenForOperationEnds(nullptr);
    clock_.Stop();
    worker_.RequestStop();
    worker_.Join();
}

void OnViewTimerTick(int timerId, CDfuDevice& device, ViewPort& view, ProgressBarPort& progressBar,
                     CycleSignals& signals) {
    ViewTimerRules rules({view, progressBar, signals, device.ProgressCounter, [&device] { return device.FindDevice(); },
                          [&device] { device.MonitorOperation(); },
                          [&device](const std::string& path) { return device.IsAttached(path); }});
    rules.OnTimer(timerId);
}

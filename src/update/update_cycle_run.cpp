#include "update/update_cycle_run.h"

#include "device/dfu_device.h"
#include "update/view_timer_rules.h"

UpdateCycleRun::UpdateCycleRun(CDfuDevice& device, ViewPort& view, CycleSignals& signals,
                               const Resources& resources, DfuDeviceCycleOperations::Hooks hooks)
    : operations_(device, std::move(hooks)), worker_(device, operations_, view, signals, resources) {}

void UpdateCycleRun::StopAndJoin() {
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

#pragma once

#include "common/progress_bar_port.h"
#include "common/silent_ports.h"
#include "update/dfu_device_cycle_operations.h"
#include "update/engine_clock.h"
#include "update/update_worker.h"
#include "update/view_timer_rules.h"

// What the main view starts once and stops at its end: the worker together
// with the operations it runs on the program's CDfuDevice, and the clock that
// runs the operation monitor and the presence checks for it. The view keeps
// only the timer that draws (the download's animation).
class UpdateCycleRun {
public:
    UpdateCycleRun(CDfuDevice& device, ViewPort& view, CycleSignals& signals, const Resources& resources,
                   DfuDeviceCycleOperations::Hooks hooks);
    ~UpdateCycleRun();
    UpdateCycleRun(const UpdateCycleRun&) = delete;
    UpdateCycleRun& operator=(const UpdateCycleRun&) = delete;

    void Start();
    // Returns once the clock and the worker have ended; a running operation
    // is stopped on the way. The caller makes sure the ports no longer wait
    // for the UI thread before calling this on it.
    void StopAndJoin();
    bool IsWritingDevice() const { return worker_.IsWritingDevice(); }
    bool Finished() const { return worker_.Finished(); }
    CycleRequestAnswer RequestCycle(const CycleRequest& request) { return worker_.RequestCycle(request); }

private:
    CDfuDevice& device_;
    // The clock's ticks never reach the animation: nothing is drawn here.
    SilentProgressBar noBar_;
    EngineClock clock_;
    ViewTimerRules rules_;
    DfuDeviceCycleOperations operations_;
    UpdateWorker worker_;  // after what it uses, so it goes first
};

// One tick of the main view's timer `timerId` on the UI thread: the download
// animation.
void OnViewTimerTick(int timerId, CDfuDevice& device, ViewPort& view, ProgressBarPort& progressBar,
                     CycleSignals& signals);

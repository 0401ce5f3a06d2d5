#pragma once

#include "common/progress_bar_port.h"
#include "update/dfu_device_cycle_operations.h"
#include "update/update_worker.h"

// What the main view starts once and stops at its end: the worker together
// with the operations it runs on the program's CDfuDevice.
class UpdateCycleRun {
public:
    UpdateCycleRun(CDfuDevice& device, ViewPort& view, CycleSignals& signals, const Resources& resources,
                   DfuDeviceCycleOperations::Hooks hooks);

    void Start() { worker_.Start(); }
    // Returns once the worker's thread has ended. The caller makes sure the
    // ports no longer wait for the UI thread before calling this on it.
    void StopAndJoin();
    bool IsWritingDevice() const { return worker_.IsWritingDevice(); }
    bool Finished() const { return worker_.Finished(); }
    CycleRequestAnswer RequestCycle(const CycleRequest& request) { return worker_.RequestCycle(request); }

private:
    DfuDeviceCycleOperations operations_;
    UpdateWorker worker_;  // after the operations it uses, so it goes first
};

// One tick of the main view's timer `timerId` on the UI thread, with the
// program's CDfuDevice answering FindDevice and MonitorOperation.
void OnViewTimerTick(int timerId, CDfuDevice& device, ViewPort& view, ProgressBarPort& progressBar,
                     CycleSignals& signals);

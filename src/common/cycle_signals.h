#pragma once

#include <atomic>

#include "common/auto_reset_event.h"
#include "common/guarded_text.h"

// The values the worker and the UI side share during an update cycle. The
// view owns one instance for the life of the window; tests make their own.
struct CycleSignals {
    AutoResetEvent StepEvent;
    AutoResetEvent UploadEvent;
    // 1 while a running operation's percent goes to the progress bar.
    std::atomic<int> ShowProgress{0};
    std::atomic<int> UpdateState{0};
    // The device path whose unplug the worker waits for (timer 4): the
    // Orvo the last cycle worked on, whatever else is attached meanwhile.
    GuardedText UnplugPath;
};

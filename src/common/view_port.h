#pragma once

#include "common/message_box_port.h"

// What the worker asks of the main view's window: its timers by logical id,
// repaints, the boxes and the Yes/No question.
class ViewPort : public MessageBoxPort {
public:
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    // Repaint the whole client area, background erased.
    virtual void RepaintAll() = 0;
    // A modal question with Yes and No, No the default; returns once
    // answered, true for Yes. With nobody to ask, the answer is No.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) {
        (void)text;
        (void)caption;
        return false;
    }
};

// Logical timer ids of the main view.
enum ViewTimerId : int {
    MonitorTimer = 0,
    ArrivalTimer = 1,
    ProgressTimer = 2,
    RemovalTimer = 4,
};

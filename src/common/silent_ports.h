#pragma once

#include <string>

#include "common/message_box_port.h"
#include "common/progress_bar_port.h"

// Ports for a device object that no window shows: the reports go nowhere,
// so the code that reports needs no check for a missing window.
class SilentProgressBar final : public ProgressBarPort {
public:
    int SetPos(int) override { return -1; }  // as a control without a window answers
    void SetText(const std::string&) override {}
    std::string Text() const override { return {}; }
    void SetShowText(bool) override {}
    void SetBarColour(Colour) override {}
    void SetBkColour(Colour) override {}
    void SetTextColour(Colour) override {}
    void SetTextBkColour(Colour) override {}
};

class SilentMessageBox final : public MessageBoxPort {
public:
    void ShowMessageBox(const std::string&) override {}
};

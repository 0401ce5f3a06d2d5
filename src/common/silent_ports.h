#pragma once

#include <string>

#include "common/progress_bar_port.h"
#include "common/view_port.h"

// A progress bar that no window shows, for a front end without one: the
// view's timer rules draw on it without a check for a missing window.
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

// A view no window shows, for what runs without a front end: its timers
// never tick, its boxes go nowhere and its questions are answered No.
class SilentView final : public ViewPort {
public:
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    void RepaintAll() override {}
    void ShowMessageBox(const std::string&) override {}
};

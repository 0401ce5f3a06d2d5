#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/view_port.h"

// The window's view port for a run with nobody at the screen: timers and
// repaints go to the window; every box is printed instead of shown, every
// question printed and answered No. Each repaint is reported, as the moment
// a new status text shows.
class UnattendedViewPort final : public ViewPort {
public:
    // `print` gets each line to print (the caller keeps it in order with
    // what the window shows); `repainted` is called after each repaint.
    UnattendedViewPort(std::unique_ptr<ViewPort> window, std::function<void(std::string line)> print,
                       std::function<void()> repainted);

    void StartTimer(int id, int periodMs) override { window_->StartTimer(id, periodMs); }
    void StopTimer(int id) override { window_->StopTimer(id); }
    void RepaintAll() override;
    void ShowMessageBox(const std::string& text) override;
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;

private:
    std::unique_ptr<ViewPort> window_;
    std::function<void(std::string)> print_;
    std::function<void()> repainted_;
};

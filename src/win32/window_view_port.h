#pragma once

#include <windows.h>

#include "common/view_port.h"

class MainView;
class Resources;
class UiThreadCalls;

// What the engine asks of the window, from whichever thread it runs on:
// the view's timers, repaints, the boxes and the Yes/No question. Timers
// and boxes are done on the UI thread and the call returns once they are
// (a box holds its caller until dismissed); after the window's shut-down
// they return at once and a question is answered No.
class WindowViewPort final : public ViewPort {
public:
    WindowViewPort(MainView& view, HWND owner, const Resources& resources, UiThreadCalls& calls);

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RepaintAll() override;
    void ShowMessageBox(const std::string& text) override;
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;

private:
    MainView& view_;
    HWND owner_;
    const Resources& resources_;
    UiThreadCalls& calls_;
};

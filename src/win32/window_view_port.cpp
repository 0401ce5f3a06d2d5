#include "win32/window_view_port.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "win32/main_view.h"
#include "win32/message_boxes.h"
#include "win32/ui_thread_calls.h"

WindowViewPort::WindowViewPort(MainView& view, HWND owner, const Resources& resources, UiThreadCalls& calls)
    : view_(view), owner_(owner), resources_(resources), calls_(calls) {}

void WindowViewPort::StartTimer(int id, int periodMs) {
    calls_.RunAndWait([this, id, periodMs] { view_.StartTimer(id, periodMs); });
}

void WindowViewPort::StopTimer(int id) {
    calls_.RunAndWait([this, id] { view_.StopTimer(id); });
}

void WindowViewPort::RepaintAll() { view_.RepaintAll(); }

void WindowViewPort::ShowMessageBox(const std::string& text) {
    calls_.RunAndWait([this, &text] { ShowNotice(owner_, text, resources_.String(ResourceId::AppTitle)); });
}

void WindowViewPort::ShowErrorBox(const std::string& text, const std::string& caption) {
    calls_.RunAndWait([this, &text, &caption] { ShowNotice(owner_, text, caption, true); });
}

bool WindowViewPort::AskYesNo(const std::string& text, const std::string& caption) {
    bool yes = false;
    calls_.RunAndWait([this, &text, &caption, &yes] {
        yes = ::AskYesNo(owner_, text, caption, resources_.String(ResourceId::YesButtonText),
                         resources_.String(ResourceId::NoButtonText));
    });
    return yes;
}

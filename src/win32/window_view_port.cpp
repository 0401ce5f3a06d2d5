#include "win32/window_view_port.h"

#include <memory>

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

// The calls below own copies of what they show and where the answer goes: a
// shut-down releases the caller while a box may still be open.
void WindowViewPort::ShowMessageBox(const std::string& text) {
    calls_.RunAndWait([this, text] { ShowNotice(owner_, text, resources_.String(ResourceId::AppTitle)); });
}

void WindowViewPort::ShowErrorBox(const std::string& text, const std::string& caption) {
    calls_.RunAndWait([this, text, caption] { ShowNotice(owner_, text, caption, true); });
}

bool WindowViewPort::AskYesNo(const std::string& text, const std::string& caption) {
    const auto yes = std::make_shared<bool>(false);
    const bool answered = calls_.RunAndWait([this, text, caption, yes] {
        *yes = ::AskYesNo(owner_, text, caption, resources_.String(ResourceId::YesButtonText),
                          resources_.String(ResourceId::NoButtonText));
    });
    // Nobody to ask, or a shut-down before the answer: No.
    return answered && *yes;
}

#include "orvo_demo_win32/unattended_view_port.h"

#include <utility>

UnattendedViewPort::UnattendedViewPort(std::unique_ptr<ViewPort> window, std::function<void(std::string line)> print,
                                       std::function<void()> repainted)
    : window_(std::move(window)), print_(std::move(print)), repainted_(std::move(repainted)) {}

void UnattendedViewPort::RepaintAll() {
    window_->RepaintAll();
    repainted_();
}

void UnattendedViewPort::ShowMessageBox(const std::string& text) { print_("message box: " + text); }

void UnattendedViewPort::ShowErrorBox(const std::string& text, const std::string&) { ShowMessageBox(text); }

bool UnattendedViewPort::AskYesNo(const std::string& text, const std::string&) {
    print_("question: " + text + "\nanswer: No");
    return false;
}

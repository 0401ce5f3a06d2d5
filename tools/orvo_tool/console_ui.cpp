#include "console_ui.h"

#include <chrono>
#include <cstdio>

#include "device/dfu_device.h"

namespace {
constexpr Colour kErrorColour = Rgb(255, 0, 0);
}

int ConsoleProgressBar::SetPos(int position) {
    std::lock_guard lock(mutex_);
    const int previous = pos_;
    pos_ = position;
    return previous;
}

void ConsoleProgressBar::SetText(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (text == text_ || text.empty()) {
        text_ = text;
        return;
    }
    text_ = text;
    lastWasError_ = barColour_ == kErrorColour;
    std::FILE* stream = lastWasError_ ? stderr : stdout;
    // Captions may carry their own line break (the status report's).
    std::fprintf(stream, "%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
    std::fflush(stream);
}

std::string ConsoleProgressBar::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void ConsoleProgressBar::SetShowText(bool) {}

void ConsoleProgressBar::SetBarColour(Colour colour) {
    std::lock_guard lock(mutex_);
    barColour_ = colour;
}

bool ConsoleProgressBar::ShowedError() const {
    std::lock_guard lock(mutex_);
    return lastWasError_;
}

void ConsoleMessageBox::ShowMessageBox(const std::string& text) {
    ++count_;
    std::fprintf(stderr, "%s%s", text.c_str(), !text.empty() && text.back() == '\n' ? "" : "\n");
    std::fflush(stderr);
}

MonitorTimer::MonitorTimer(CDfuDevice& device) : device_(device), thread_([this] { Run(); }) {}

MonitorTimer::~MonitorTimer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void MonitorTimer::Run() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
        lock.unlock();
        device_.MonitorOperation();
        lock.lock();
    }
}

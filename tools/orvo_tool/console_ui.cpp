#include "console_ui.h"

#include <chrono>
#include <cstdio>

#include "device/dfu_device.h"

namespace {

constexpr Colour kErrorColour = Rgb(255, 0, 0);

// "N%" captions, the running operation's progress; -1 for any other text.
int PercentOf(const std::string& text) {
    if (text.size() < 2 || text.size() > 4 || text.back() != '%')
        return -1;
    int value = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

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
    // Progress goes to the terminal in steps of ten, not once per block.
    const int percent = PercentOf(text);
    if (percent >= 0) {
        if (percent / 10 == lastDecade_)
            return;
        lastDecade_ = percent / 10;
    } else {
        lastDecade_ = -1;
    }
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

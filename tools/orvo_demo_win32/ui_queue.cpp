#include "orvo_demo_win32/ui_queue.h"

UiQueue::UiQueue() : thread_(GetCurrentThreadId()) {
    // A thread timer: its ticks arrive as WM_TIMER messages without a window.
    timer_ = SetTimer(nullptr, 0, TickMs, nullptr);
}

UiQueue::~UiQueue() {
    if (timer_ != 0)
        KillTimer(nullptr, timer_);
}

void UiQueue::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(call));
    }
    PostThreadMessageW(thread_, Message, 0, 0);
}

void UiQueue::Later(int delayMs, std::function<void()> call) {
    delayed_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), std::move(call)});
}

bool UiQueue::Handle(const MSG& message) {
    if (message.hwnd != nullptr)
        return false;
    if (message.message == Message) {
        RunPosted();
        return true;
    }
    if (message.message == WM_TIMER && message.wParam == timer_) {
        Tick();
        return true;
    }
    return false;
}

void UiQueue::RunPosted() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty())
                return;
            call = std::move(posted_.front());
            posted_.pop_front();
        }
        call();
    }
}

void UiQueue::Tick() {
    MeasureGap();
    // Posted calls are served here too: a thread message is lost while a
    // modal loop runs (a dialog's).
    RunPosted();
    const auto now = std::chrono::steady_clock::now();
    std::vector<Delayed> due;
    for (auto it = delayed_.begin(); it != delayed_.end();) {
        if (it->due <= now) {
            due.push_back(std::move(*it));
            it = delayed_.erase(it);
        } else {
            ++it;
        }
    }
    for (Delayed& entry : due)
        entry.call();
    if (tick_)
        tick_();
}

void UiQueue::MeasureGap() {
    if (!metering_)
        return;
    const auto now = std::chrono::steady_clock::now();
    longestGap_ = std::max(longestGap_, now - lastTick_);
    lastTick_ = now;
}

void UiQueue::StartStallMeter() {
    metering_ = true;
    lastTick_ = std::chrono::steady_clock::now();
    longestGap_ = {};
}

void UiQueue::StopStallMeter() {
    MeasureGap();
    metering_ = false;
}

long long UiQueue::LongestStallMs() const {
    const auto stall = longestGap_ - std::chrono::milliseconds(TickMs);
    return std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(stall).count());
}

#include "win32/ui_thread_calls.h"

UiThreadCalls::UiThreadCalls(HWND window) : window_(window), uiThread_(GetCurrentThreadId()) {}

bool UiThreadCalls::RunAndWait(std::function<void()> call) {
    if (OnUiThread()) {
        {
            const std::lock_guard lock(mutex_);
            if (shutDown_)
                return false;
        }
        call();
        return true;
    }
    std::unique_lock lock(mutex_);
    if (shutDown_)
        return false;
    const std::uint64_t number = nextNumber_++;
    queue_.push_back(Call{number, std::move(call)});
    if (!PostMessageW(window_, Message, 0, 0)) {
        // The window is gone: nothing will ever run the call.
        queue_.pop_back();
        return false;
    }
    done_.wait(lock, [this, number] { return shutDown_ || doneNumbers_.count(number) != 0; });
    return doneNumbers_.erase(number) != 0;
}

void UiThreadCalls::Post(std::function<void()> call) {
    const std::lock_guard lock(mutex_);
    if (shutDown_)
        return;
    // Nobody waits for it: its number is never marked done.
    queue_.push_back(Call{0, std::move(call)});
    PostMessageW(window_, Message, 0, 0);
}

void UiThreadCalls::Shutdown() {
    {
        const std::lock_guard lock(mutex_);
        shutDown_ = true;
        queue_.clear();
        doneNumbers_.clear();
    }
    done_.notify_all();
}

bool UiThreadCalls::Handle(UINT message) {
    if (message != Message)
        return false;
    // One call per message: a call that opens a box runs a loop of its own,
    // which takes the next message, and so the next call, in order.
    Call call;
    {
        const std::lock_guard lock(mutex_);
        if (queue_.empty())
            return true;
        call = std::move(queue_.front());
        queue_.pop_front();
    }
    call.run();
    if (call.number == 0)
        return true;
    {
        const std::lock_guard lock(mutex_);
        if (!shutDown_)
            doneNumbers_.insert(call.number);
    }
    done_.notify_all();
    return true;
}

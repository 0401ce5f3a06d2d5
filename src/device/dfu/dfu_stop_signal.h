#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lets a transfer thread sleep exactly as long as the device asks while staying
// interruptible: StopOperation raises the signal and every wait ends at once.
class DfuStopSignal {
public:
    void Raise() {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        wake_.notify_all();
    }
    bool Raised() const {
        std::lock_guard lock(mutex_);
        return raised_;
    }
    // Returns false when the wait was cut short by Raise.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_until(lock, deadline, [this] { return raised_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool raised_ = false;
};

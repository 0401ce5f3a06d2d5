#pragma once

#include <mutex>
#include <string>

// A text written on one thread and read on another (the status text, the
// identity fields, the device path): every access takes a copy under a lock.
class GuardedText {
public:
    GuardedText() = default;
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;

    void Set(std::string text) {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }
    std::string Get() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    void Clear() { Set({}); }
    bool Empty() const {
        std::lock_guard lock(mutex_);
        return text_.empty();
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

#pragma once

#include <functional>
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

// The status text the worker shows, kept with the string id and the literal
// tail (a serial number) it was made from, so that a language change shows
// it again in the new language at once. The look-up runs under the lock: a
// text being shown while the language changes cannot end up in the old
// language after the change has re-resolved it.
class StatusTextHolder {
public:
    using Lookup = std::function<std::string(int stringId)>;

    StatusTextHolder() = default;
    StatusTextHolder(const StatusTextHolder&) = delete;
    StatusTextHolder& operator=(const StatusTextHolder&) = delete;

    // A line below the text, made again from the resources in force at each
    // language change (it may hold several strings and numbers).
    using LineComposer = std::function<std::string(const Lookup& lookup)>;

    // String `stringId` of the resources in force, followed by `tail`, and
    // `below` on a line of its own when there is one.
    void Show(int stringId, std::string tail, const Lookup& lookup, LineComposer below = {}) {
        std::lock_guard lock(mutex_);
        stringId_ = stringId;
        tail_ = std::move(tail);
        below_ = std::move(below);
        Compose(lookup);
    }
    // A text of no string id: it stays as it is when the language changes.
    void Set(std::string text) {
        std::lock_guard lock(mutex_);
        stringId_ = NoStringId;
        tail_.clear();
        below_ = nullptr;
        text_ = std::move(text);
    }
    // Looks the current text up again, in the resources in force now.
    void Reresolve(const Lookup& lookup) {
        std::lock_guard lock(mutex_);
        if (stringId_ != NoStringId)
            Compose(lookup);
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
    static constexpr int NoStringId = -1;

    void Compose(const Lookup& lookup) {
        text_ = lookup(stringId_) + tail_;
        if (below_)
            text_ += "\n" + below_(lookup);
    }

    mutable std::mutex mutex_;
    int stringId_ = NoStringId;
    std::string tail_;
    LineComposer below_;
    std::string text_;
};

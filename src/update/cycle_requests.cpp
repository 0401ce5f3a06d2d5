#include "update/cycle_requests.h"

#include <utility>

bool CycleRequests::Ask(CycleRequestKind kind, const std::string& text, const std::string& caption) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            return false;
        id = ++lastId_;
        waiting_[id];
    }
    // Published unlocked: a front end may answer while it is delivered.
    channel_.Publish(CycleEvents::Request{id, kind, text, caption});
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return cancelled_ || waiting_[id].has_value(); });
    const bool yes = waiting_[id].value_or(false);
    waiting_.erase(id);
    return yes;
}

bool CycleRequests::MayClose(bool writing, const std::string& text, const std::string& caption,
                             std::function<void()> approved) {
    if (!writing)
        return true;
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_)
            return true;
        if (closeQuestion_ != 0)
            return false;
        id = closeQuestion_ = ++lastId_;
        closeApproved_ = std::move(approved);
    }
    channel_.Publish(CycleEvents::Request{id, CycleRequestKind::CloseQuestion, text, caption});
    return false;
}

void CycleRequests::Answer(std::uint64_t id, bool yes) {
    std::function<void()> approved;
    {
        std::lock_guard lock(mutex_);
        if (id != 0 && id == closeQuestion_) {
            closeQuestion_ = 0;
            approved = std::exchange(closeApproved_, nullptr);
        } else {
            const auto it = waiting_.find(id);
            if (it == waiting_.end() || it->second.has_value())
                return;
            it->second = yes;
        }
    }
    answered_.notify_all();
    // Unlocked: what a Yes runs may well ask again.
    if (yes && approved)
        approved();
}

void CycleRequests::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        closeQuestion_ = 0;
        closeApproved_ = nullptr;
    }
    answered_.notify_all();
}

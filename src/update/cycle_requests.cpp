#include "update/cycle_requests.h"

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

void CycleRequests::Answer(std::uint64_t id, bool yes) {
    {
        std::lock_guard lock(mutex_);
        const auto it = waiting_.find(id);
        if (it == waiting_.end() || it->second.has_value())
            return;
        it->second = yes;
    }
    answered_.notify_all();
}

void CycleRequests::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    answered_.notify_all();
}

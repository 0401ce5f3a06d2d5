#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "device/dfu/dfu_types.h"

// The next handle value of the file library. Files and images draw from the
// same counter, so a file handle passed where an image is expected (or the
// reverse) is an unknown handle rather than a different object. Never 0.
DfuHandle NextDfuHandleValue();

// A thread-safe table of objects named by opaque handles. Each object has its
// own lock: a caller working on one image does not hold up callers working on
// others, and an object destroyed while another thread still works on it
// lives on until that work ends.
template <class T>
class DfuHandleTable {
public:
    struct Slot {
        std::mutex mutex;
        T value;
    };

    DfuHandle Add(T value) {
        auto slot = std::make_shared<Slot>();
        slot->value = std::move(value);
        std::lock_guard lock(mutex_);
        DfuHandle handle = NextDfuHandleValue();
        // Only after 2^32 allocations could the counter meet a live handle.
        while (slots_.count(handle) != 0)
            handle = NextDfuHandleValue();
        slots_.emplace(handle, std::move(slot));
        return handle;
    }

    std::shared_ptr<Slot> Find(DfuHandle handle) const {
        std::lock_guard lock(mutex_);
        const auto it = slots_.find(handle);
        return it == slots_.end() ? nullptr : it->second;
    }

    // Removes the handle from the table and hands its object to the caller.
    std::shared_ptr<Slot> Take(DfuHandle handle) {
        std::lock_guard lock(mutex_);
        const auto it = slots_.find(handle);
        if (it == slots_.end())
            return nullptr;
        auto slot = std::move(it->second);
        slots_.erase(it);
        return slot;
    }

    // Runs f(T&) with the object locked; false for an unknown handle.
    template <class F>
    bool With(DfuHandle handle, F&& f) const {
        const auto slot = Find(handle);
        if (!slot)
            return false;
        std::lock_guard lock(slot->mutex);
        std::forward<F>(f)(slot->value);
        return true;
    }

    std::size_t Size() const {
        std::lock_guard lock(mutex_);
        return slots_.size();
    }

private:
    mutable std::mutex mutex_;
    std::map<DfuHandle, std::shared_ptr<Slot>> slots_;
};

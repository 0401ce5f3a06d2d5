#pragma once

#include <mutex>
#include <variant>
#include <vector>

#include "common/cycle_events.h"

// Keeps every event published on a channel while it lives. Declare it after
// the channel's owner and before anything that publishes (a worker), so that
// it unsubscribes only once nothing publishes any more.
class RecordingEvents final : public CycleEventListener {
public:
    explicit RecordingEvents(CycleEventChannel& channel) : channel_(channel) { channel_.Subscribe(*this); }
    ~RecordingEvents() override { channel_.Unsubscribe(*this); }
    RecordingEvents(const RecordingEvents&) = delete;
    RecordingEvents& operator=(const RecordingEvents&) = delete;

    void OnCycleEvent(const CycleEvent& event) override {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }

    std::vector<CycleEvent> All() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The events of one type, in the order they came.
    template <class Event>
    std::vector<Event> Of() const {
        std::vector<Event> found;
        for (const CycleEvent& event : All())
            if (const auto* each = std::get_if<Event>(&event))
                found.push_back(*each);
        return found;
    }
    // The phases started, in order.
    std::vector<CyclePhase> PhasesStarted() const {
        std::vector<CyclePhase> phases;
        for (const auto& started : Of<CycleEvents::PhaseStarted>())
            phases.push_back(started.phase);
        return phases;
    }

private:
    CycleEventChannel& channel_;
    mutable std::mutex mutex_;
    std::vector<CycleEvent> events_;
};

#pragma once

#include <mutex>
#include <optional>

#include "common/cycle_events.h"
#include "history/history_store.h"

// Keeps every cycle that identified an Orvo in the history: the record is
// stored as running when the device is identified, gets what the Orvo held
// once that is read, and is completed when the cycle ends. A cycle cut off
// before its end stays running, and the next opening of the history marks it
// interrupted. Thread-safe; each stored step is one small transaction.
class HistoryRecorder : public CycleEventListener {
public:
    explicit HistoryRecorder(HistoryStore& store) : store_(store) {}
    void OnCycleEvent(const CycleEvent& event) override;

private:
    void Begin(const CycleEvents::DeviceIdentified& identified);
    void End(const CycleEvents::CycleEnded& ended);

    HistoryStore& store_;
    std::mutex mutex_;
    std::optional<HistoryRecord> open_;
};

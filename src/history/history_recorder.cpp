#include "history/history_recorder.h"

#include <numeric>
#include <type_traits>

void HistoryRecorder::OnCycleEvent(const CycleEvent& event) {
    std::lock_guard lock(mutex_);
    std::visit(
        [this](const auto& e) {
            using Event = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<Event, CycleEvents::DeviceIdentified>) {
                if (e.accepted && !e.serial.empty())
                    Begin(e);
            } else if constexpr (std::is_same_v<Event, CycleEvents::HoldingsRead>) {
                if (open_) {
                    open_->before = e.holdings;
                    open_->id = store_.Save(*open_);
                }
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseEnded>) {
                if (open_)
                    open_->durations[static_cast<std::size_t>(e.phase) % CyclePhaseCount] += e.duration;
            } else if constexpr (std::is_same_v<Event, CycleEvents::DownloadAnswered>) {
                if (open_)
                    open_->bytesDownloaded += e.bytes;
            } else if constexpr (std::is_same_v<Event, CycleEvents::CycleEnded>) {
                End(e);
            }
        },
        event);
}

void HistoryRecorder::Begin(const CycleEvents::DeviceIdentified& identified) {
    // The worker identifies its Orvo again before the write: the same cycle.
    if (open_ && open_->serial == identified.serial)
        return;
    if (open_) {
        // A new cycle without the end of the last one: the last one was cut off.
        open_->outcome = CycleOutcome::Interrupted;
        open_->cause = HistoryStore::InterruptedCause;
        store_.Save(*open_);
    }
    HistoryRecord record;
    record.startedMs = HistoryNowMs();
    record.serial = identified.serial;
    record.source = identified.source;
    record.id = store_.Save(record);
    open_ = std::move(record);
}

void HistoryRecorder::End(const CycleEvents::CycleEnded& ended) {
    const std::int64_t now = HistoryNowMs();
    if (!open_) {
        // The cycle began before this recorder listened.
        if (ended.serial.empty())
            return;
        const auto ran = std::accumulate(ended.durations.begin(), ended.durations.end(), std::chrono::milliseconds(0));
        open_.emplace();
        open_->startedMs = now - ran.count();
        open_->serial = ended.serial;
    }
    HistoryRecord& record = *open_;
    record.endedMs = now;
    record.source = ended.source;
    record.outcome = ended.outcome;
    record.cause = ended.cause;
    record.causeId = ended.causeId;
    record.causeArgs = ended.causeArgs;
    if (ended.before.known)
        record.before = ended.before;
    record.after = ended.after;
    if (ended.bytesDownloaded != 0)
        record.bytesDownloaded = ended.bytesDownloaded;
    for (std::size_t i = 0; i < CyclePhaseCount; ++i)
        if (ended.durations[i].count() != 0)
            record.durations[i] = ended.durations[i];
    store_.Save(record);
    open_.reset();
}

#include "update/sleep_guard.h"

#include <type_traits>

SleepGuard::~SleepGuard() {
    std::lock_guard lock(mutex_);
    open_.reset();
    Update();
}

bool SleepGuard::WritesDevice(CyclePhase phase) {
    return phase == CyclePhase::Erase || phase == CyclePhase::Write || phase == CyclePhase::Verify ||
           phase == CyclePhase::DateStamp;
}

void SleepGuard::OnCycleEvent(const CycleEvent& event) {
    std::lock_guard lock(mutex_);
    std::visit(
        [this](const auto& happened) {
            using Event = std::decay_t<decltype(happened)>;
            if constexpr (std::is_same_v<Event, CycleEvents::PhaseStarted>) {
                if (WritesDevice(happened.phase))
                    open_.set(static_cast<std::size_t>(happened.phase));
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseEnded>) {
                open_.reset(static_cast<std::size_t>(happened.phase));
            } else if constexpr (std::is_same_v<Event, CycleEvents::CycleEnded>) {
                open_.reset();
                notedThisCycle_ = false;
            }
        },
        event);
    Update();
}

void SleepGuard::Update() {
    const bool wanted = open_.any();
    if (wanted == holding_)
        return;
    holding_ = wanted;
    if (!wanted) {
        port_.Release();
        return;
    }
    port_.Hold();
    if (note_ && !notedThisCycle_) {
        notedThisCycle_ = true;
        note_(port_.KeepsAwake() ? KeptAwakeNote : NotKeptAwakeNote);
    }
}

bool SleepGuard::Holding() const {
    std::lock_guard lock(mutex_);
    return holding_;
}

#include "interrupt_signal.h"

void FlashWitness::OnCycleEvent(const CycleEvent& event) {
    std::lock_guard lock(mutex_);
    if (const auto* started = std::get_if<CycleEvents::PhaseStarted>(&event)) {
        // The date stamp comes only after a whole, verified database (or
        // none was needed): from here only the stamp may be missing.
        if (started->phase == CyclePhase::DateStamp)
            stamping_ = true;
        else if (started->phase == CyclePhase::Erase || started->phase == CyclePhase::Write)
            erased_ = true;
    } else if (const auto* ended = std::get_if<CycleEvents::PhaseEnded>(&event);
               ended != nullptr && ended->phase == CyclePhase::DateStamp && ended->succeeded) {
        erased_ = stamping_ = false;
    }
}

std::string FlashWitness::LeftText() const {
    std::lock_guard lock(mutex_);
    if (stamping_)
        return "the Orvo holds its database, but perhaps without a date stamp: run the update again before "
               "using it";
    if (erased_)
        return "the Orvo was being written: its database is incomplete and it has no date stamp; run the "
               "update (or a restore) again before using it";
    return "nothing was erased: the Orvo holds the database it held before";
}

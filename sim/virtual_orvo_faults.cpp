#include "virtual_orvo.h"

#include <algorithm>

#include "device/dfu/dfu_engine.h"

// Fault scripting: errors, stalls, unplugs and silent corruption aimed at the
// n-th request of a kind, slow answers, and hangs that last until the next
// plug.

std::optional<VirtualOrvo::Fault> VirtualOrvo::TakeFault(OrvoRequestKind kind) {
    const unsigned count = kindCounts_[static_cast<int>(kind)]++;
    TriggerHangs(kind, count);
    const auto it = std::find_if(faults_.begin(), faults_.end(),
                                 [&](const Fault& f) { return f.kind == kind && f.at == count; });
    if (it == faults_.end())
        return std::nullopt;
    Fault fault = *it;
    faults_.erase(it);
    return fault;
}

void VirtualOrvo::FailAt(OrvoRequestKind kind, unsigned index, std::uint8_t status) {
    std::lock_guard lock(mutex_);
    faults_.push_back({kind, kindCounts_[static_cast<int>(kind)] + index, Fault::Action::Status, status});
}

void VirtualOrvo::StallAt(OrvoRequestKind kind, unsigned index) {
    std::lock_guard lock(mutex_);
    faults_.push_back({kind, kindCounts_[static_cast<int>(kind)] + index, Fault::Action::Stall, dfu::errSTALLEDPKT});
}

void VirtualOrvo::UnplugAt(OrvoRequestKind kind, unsigned index) {
    std::lock_guard lock(mutex_);
    faults_.push_back({kind, kindCounts_[static_cast<int>(kind)] + index, Fault::Action::Unplug, dfu::OK});
}

void VirtualOrvo::CorruptSilentlyAt(unsigned programIndex) {
    std::lock_guard lock(mutex_);
    faults_.push_back({OrvoRequestKind::Program, kindCounts_[static_cast<int>(OrvoRequestKind::Program)] + programIndex,
                       Fault::Action::Corrupt, dfu::OK});
}

void VirtualOrvo::SlowAnswers(unsigned delayMs, unsigned count) {
    std::lock_guard lock(mutex_);
    slowDelayMs_ = delayMs;
    slowCount_ = count;
}

void VirtualOrvo::SlowDescriptors(unsigned delayMs) { descriptorDelayMs_ = delayMs; }

// An unplug ends the wait, as it ends a transfer under way.
void VirtualOrvo::DelayDescriptorRead() const {
    const unsigned delayMs = descriptorDelayMs_;
    if (delayMs == 0)
        return;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return detached_.load(); });
}

void VirtualOrvo::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    slowCount_ = 0;
    hangs_.clear();
}

// --- hangs

void VirtualOrvo::BusyForeverAt(OrvoRequestKind kind, unsigned index) {
    std::lock_guard lock(mutex_);
    hangs_.push_back({kind, kindCounts_[static_cast<int>(kind)] + index, Hang::Action::BusyForever});
}

void VirtualOrvo::NoAnswerFrom(OrvoRequestKind kind, unsigned index) {
    std::lock_guard lock(mutex_);
    hangs_.push_back({kind, kindCounts_[static_cast<int>(kind)] + index, Hang::Action::NoAnswer});
}

void VirtualOrvo::TriggerHangs(OrvoRequestKind kind, unsigned count) {
    for (auto it = hangs_.begin(); it != hangs_.end();) {
        if (it->kind != kind || it->at != count) {
            ++it;
            continue;
        }
        (it->action == Hang::Action::BusyForever ? busyForever_ : noAnswer_) = true;
        it = hangs_.erase(it);
    }
}

// The work in hand is dropped, never done: a device that hangs in the middle
// of a flash operation must not be able to finish it later on its own.
VirtualOrvo::Verdict VirtualOrvo::AnswerStuckBusy(std::span<std::uint8_t> data, std::size_t& transferred) {
    const auto now = config_.clock();
    if (state_ == dfu::dfuDNBUSY && now < readyAt_)
        violations_.push_back("GETSTATUS before the poll timeout had passed");
    pending_ = Pending::None;
    pendingData_.clear();
    state_ = dfu::dfuDNBUSY;
    readyAt_ = now + std::chrono::milliseconds(kOrvoStuckPollMs);
    stats_.busyUs += static_cast<std::uint64_t>(kOrvoStuckPollMs) * 1000;
    dfu::StatusBlock answer;
    answer.bStatus = dfu::OK;
    answer.bState = state_;
    answer.bwPollTimeout = kOrvoStuckPollMs;
    dfu::EncodeStatus(answer, data.data());
    transferred = 6;
    return Verdict::Ok;
}

#include "virtual_orvo.h"

#include <algorithm>

#include "device/dfu/dfu_engine.h"

// The DFU state machine: every class request on endpoint 0, the commands of
// the boot loader, and the busy time each one takes.

namespace {

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

}  // namespace

UsbStatus VirtualOrvo::ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                                       std::size_t& transferred) {
    transferred = 0;
    if (detached_)
        return UsbStatus::NoDevice;

    const bool dataStage = (setup.bRequest == dfu::DNLOAD || setup.bRequest == dfu::UPLOAD) && setup.wLength > 0;
    unsigned delayMs = 0;
    std::uint32_t wireUs = 0;
    {
        std::lock_guard lock(mutex_);
        if (slowCount_ > 0) {
            --slowCount_;
            delayMs = slowDelayMs_;
        }
        if (dataStage)
            wireUs = ScaledUs(static_cast<std::uint64_t>(config_.timing.transferUsPerKiB) * setup.wLength / 1024);
    }
    lastAnswerUs_ = static_cast<std::int64_t>(delayMs) * 1000 + wireUs;
    if (delayMs > 0 && !SleepUnlessDetached(std::chrono::milliseconds(delayMs)))
        return UsbStatus::NoDevice;

    if (dataStage) {
        // The data stage holds the transfer for as long as the sleep really
        // lasted, so that is what counts as wire time.
        const auto started = std::chrono::steady_clock::now();
        if (wireUs > 0 && !SleepUnlessDetached(std::chrono::microseconds(wireUs)))
            return UsbStatus::NoDevice;
        const auto held = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
        std::lock_guard lock(mutex_);
        if (wireUs > 0)
            stats_.transferUs += static_cast<std::uint64_t>(held.count());
    }

    std::lock_guard lock(mutex_);
    if (detached_)
        return UsbStatus::NoDevice;
    if (noAnswer_)
        return UsbStatus::Timeout;
    ++stats_.requests;
    const std::size_t length = std::min<std::size_t>(setup.wLength, data.size());
    Verdict verdict;
    const bool classInterface = (setup.bmRequestType & 0x7F) == 0x21;
    const bool directionIn = (setup.bmRequestType & 0x80) != 0;
    if (!classInterface || setup.wIndex != 0) {
        verdict = Violation("request outside the DFU interface");
    } else if (state_ == dfu::dfuDNBUSY && setup.bRequest != dfu::GETSTATUS &&
               config_.clock() < readyAt_) {
        verdict = Violation(std::string("request ") + std::to_string(setup.bRequest) + " while busy");
    } else {
        switch (setup.bRequest) {
        case dfu::DNLOAD:
            verdict = directionIn ? Violation("DNLOAD as an IN request")
                                  : HandleDownload(setup, std::span<const std::uint8_t>(data.data(), length));
            break;
        case dfu::UPLOAD:
            verdict = directionIn ? HandleUpload(setup, data.first(length), transferred)
                                  : Violation("UPLOAD as an OUT request");
            break;
        case dfu::GETSTATUS:
            verdict = directionIn && length >= 6 ? HandleGetStatus(data, transferred)
                                                 : Violation("malformed GETSTATUS");
            break;
        case dfu::GETSTATE:
            if (!directionIn || length < 1) {
                verdict = Violation("malformed GETSTATE");
            } else {
                data[0] = state_;
                transferred = 1;
                verdict = Verdict::Ok;
            }
            break;
        case dfu::CLRSTATUS:
            if (state_ != dfu::dfuERROR) {
                verdict = Violation(std::string("CLRSTATUS in ") + DfuStateName(state_));
            } else {
                state_ = dfu::dfuIDLE;
                status_ = dfu::OK;
                verdict = Verdict::Ok;
            }
            break;
        case dfu::ABORT:
            if (state_ == dfu::dfuIDLE || state_ == dfu::dfuDNLOAD_SYNC || state_ == dfu::dfuDNLOAD_IDLE ||
                state_ == dfu::dfuMANIFEST_SYNC || state_ == dfu::dfuUPLOAD_IDLE) {
                state_ = dfu::dfuIDLE;
                pending_ = Pending::None;
                verdict = Verdict::Ok;
            } else {
                verdict = Violation(std::string("ABORT in ") + DfuStateName(state_));
            }
            break;
        default: verdict = Violation("DETACH or unknown request in DFU mode"); break;
        }
    }

    if (verdict == Verdict::Unplug) {
        detached_ = true;
        wake_.notify_all();
        transferred = 0;
        return UsbStatus::NoDevice;
    }
    if (noAnswer_) {  // this very request started the silence
        transferred = 0;
        return UsbStatus::Timeout;
    }
    if (verdict == Verdict::Stall) {
        transferred = 0;
        return UsbStatus::Stall;
    }
    if (!directionIn)
        transferred = length;
    return UsbStatus::Ok;
}

VirtualOrvo::Verdict VirtualOrvo::HandleDownload(const UsbSetupPacket& setup, std::span<const std::uint8_t> data) {
    if (state_ != dfu::dfuIDLE && state_ != dfu::dfuDNLOAD_IDLE)
        return Violation(std::string("DNLOAD in ") + DfuStateName(state_));
    if (data.size() > kVirtualOrvoTransferSize)
        return Violation("DNLOAD longer than wTransferSize");
    if (data.empty()) {
        // Leaves DFU mode after manifestation: the updater never does this.
        if (state_ != dfu::dfuDNLOAD_IDLE)
            return Violation("zero-length DNLOAD in dfuIDLE");
        violations_.push_back("zero-length DNLOAD (leave DFU mode)");
        pending_ = Pending::Manifest;
        state_ = dfu::dfuMANIFEST_SYNC;
        return Verdict::Ok;
    }
    if (setup.wValue == dfu::kCommandBlock)
        return HandleCommand(data);
    if (setup.wValue < dfu::kFirstDataBlock)
        return Violation("DNLOAD block 1");

    const auto fault = TakeFault(OrvoRequestKind::Program);
    ++stats_.programs;
    pendingResult_ = dfu::OK;
    pendingCorrupt_ = false;
    if (fault) {
        if (fault->action == Fault::Action::Unplug)
            return Verdict::Unplug;
        if (fault->action == Fault::Action::Stall)
            return StallWith(dfu::errSTALLEDPKT);
        if (fault->action == Fault::Action::Corrupt)
            pendingCorrupt_ = true;
        else
            pendingResult_ = fault->status;
    }
    pending_ = Pending::Program;
    pendingAddress_ = pointer_ + static_cast<std::uint32_t>(setup.wValue - dfu::kFirstDataBlock) * kVirtualOrvoTransferSize;
    pendingData_.assign(data.begin(), data.end());
    state_ = dfu::dfuDNLOAD_SYNC;
    return Verdict::Ok;
}

VirtualOrvo::Verdict VirtualOrvo::HandleCommand(std::span<const std::uint8_t> data) {
    const std::uint8_t command = data[0];
    OrvoRequestKind kind;
    if (command == dfu::kCommandSetAddressPointer && data.size() == 5) {
        kind = OrvoRequestKind::SetPointer;
        pending_ = Pending::SetPointer;
        ++stats_.setPointers;
    } else if (command == dfu::kCommandErase && data.size() == 5) {
        kind = OrvoRequestKind::Erase;
        pending_ = Pending::Erase;
        ++stats_.erases;
    } else if (command == dfu::kCommandErase && data.size() == 1) {
        // Erases everything, identity block included. Carried out as the
        // hardware would, but no correct host ever sends it.
        violations_.push_back("mass erase");
        pending_ = Pending::MassErase;
        pendingResult_ = dfu::OK;
        state_ = dfu::dfuDNLOAD_SYNC;
        return Verdict::Ok;
    } else {
        return Violation("unknown or malformed command");
    }
    pendingResult_ = dfu::OK;
    pendingAddress_ = Le32(data, 1);
    if (const auto fault = TakeFault(kind)) {
        if (fault->action == Fault::Action::Unplug)
            return Verdict::Unplug;
        if (fault->action == Fault::Action::Stall)
            return StallWith(dfu::errSTALLEDPKT);
        pendingResult_ = fault->status;
    }
    state_ = dfu::dfuDNLOAD_SYNC;
    return Verdict::Ok;
}

VirtualOrvo::Verdict VirtualOrvo::HandleUpload(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                                               std::size_t& transferred) {
    if (state_ != dfu::dfuIDLE && state_ != dfu::dfuUPLOAD_IDLE)
        return Violation(std::string("UPLOAD in ") + DfuStateName(state_));
    if (setup.wLength > kVirtualOrvoTransferSize || data.empty())
        return Violation("UPLOAD length outside 1..wTransferSize");
    if (setup.wValue == dfu::kCommandBlock) {
        const std::uint8_t commands[] = {dfu::kCommandGetCommands, dfu::kCommandSetAddressPointer, dfu::kCommandErase};
        transferred = std::min(data.size(), std::size(commands));
        std::copy_n(commands, transferred, data.begin());
        state_ = dfu::dfuUPLOAD_IDLE;
        return Verdict::Ok;
    }
    if (setup.wValue < dfu::kFirstDataBlock)
        return Violation("UPLOAD block 1");

    ++stats_.uploads;
    if (const auto fault = TakeFault(OrvoRequestKind::Upload)) {
        if (fault->action == Fault::Action::Unplug)
            return Verdict::Unplug;
        return StallWith(fault->action == Fault::Action::Stall ? static_cast<std::uint8_t>(dfu::errSTALLEDPKT) : fault->status);
    }
    const std::uint32_t address =
        pointer_ + static_cast<std::uint32_t>(setup.wValue - dfu::kFirstDataBlock) * kVirtualOrvoTransferSize;
    const auto length = static_cast<std::uint32_t>(data.size());
    if (!InRegion(address, length, kReadable))
        return StallWith(dfu::errTARGET);
    std::copy_n(MemoryAt(address), length, data.begin());
    transferred = length;
    state_ = dfu::dfuUPLOAD_IDLE;
    return Verdict::Ok;
}

VirtualOrvo::Verdict VirtualOrvo::HandleGetStatus(std::span<std::uint8_t> data, std::size_t& transferred) {
    if (const auto fault = TakeFault(OrvoRequestKind::GetStatus)) {
        if (fault->action == Fault::Action::Unplug)
            return Verdict::Unplug;
        if (fault->action == Fault::Action::Stall)
            return StallWith(dfu::errSTALLEDPKT);
        state_ = dfu::dfuERROR;
        status_ = fault->status;
        pending_ = Pending::None;
    }
    if (noAnswer_)
        return Verdict::Ok;  // never carried out: the host gets no answer
    if (busyForever_)
        return AnswerStuckBusy(data, transferred);

    dfu::StatusBlock answer;
    const auto now = config_.clock();
    if (state_ == dfu::dfuDNLOAD_SYNC || state_ == dfu::dfuMANIFEST_SYNC) {
        const std::uint32_t busyUs = ExecutePendingUs();
        const std::uint32_t pollMs = (busyUs + 999) / 1000;
        stats_.busyUs += static_cast<std::uint64_t>(pollMs) * 1000;
        readyAt_ = now + std::chrono::milliseconds(pollMs);
        state_ = state_ == dfu::dfuDNLOAD_SYNC ? dfu::dfuDNBUSY : dfu::dfuMANIFEST;
        answer.bwPollTimeout = pollMs;
    } else if (state_ == dfu::dfuDNBUSY || state_ == dfu::dfuMANIFEST) {
        if (now < readyAt_) {
            violations_.push_back("GETSTATUS before the poll timeout had passed");
            if (config_.strict)
                return StallWith(dfu::errSTALLEDPKT);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(readyAt_ - now);
            answer.bwPollTimeout = static_cast<std::uint32_t>(left.count());
        } else {
            FinishPending();
        }
    }
    answer.bStatus = status_;
    answer.bState = state_;
    dfu::EncodeStatus(answer, data.data());
    transferred = 6;
    return Verdict::Ok;
}

// Carries out the pending command or block at once (its result is revealed
// only when the busy time has passed) and returns the time it takes.
std::uint32_t VirtualOrvo::ExecutePendingUs() {
    const OrvoTiming& t = config_.timing;
    const bool faulted = pendingResult_ != dfu::OK;
    switch (pending_) {
    case Pending::SetPointer:
        if (!faulted && !InRegion(pendingAddress_, 1, 0))
            pendingResult_ = dfu::errTARGET;
        else if (!faulted)
            pointer_ = pendingAddress_;
        return ScaledUs(t.commandUs);
    case Pending::Erase:
        if (!faulted && !InRegion(pendingAddress_, 1, kErasable)) {
            pendingResult_ = dfu::errTARGET;
        } else if (!faulted) {
            const Region& r = CurrentRegion();
            const std::uint32_t start = pendingAddress_ - (pendingAddress_ - r.start) % kOrvoSectorSize;
            std::fill_n(MemoryAt(start), kOrvoSectorSize, std::uint8_t{0xFF});
            FlashChanged(start, kOrvoSectorSize);
            erasedSectors_.push_back(start);
        }
        return ScaledUs(t.sectorEraseUs);
    case Pending::MassErase:
        if (alternate_ == 1) {
            std::fill(flash_.begin(), flash_.end(), std::uint8_t{0xFF});
            SaveFlashRange(0, flash_.size());
        } else
            pendingResult_ = dfu::errTARGET;
        return ScaledUs(t.massEraseUs);
    case Pending::Program: {
        const auto length = static_cast<std::uint32_t>(pendingData_.size());
        if (!faulted && !InRegion(pendingAddress_, length, kWritable)) {
            pendingResult_ = dfu::errTARGET;
        } else if (!faulted) {
            // NOR programming can only clear bits; a byte that needed a 1
            // where the flash holds a 0 does not read back.
            std::uint8_t* cell = MemoryAt(pendingAddress_);
            bool verified = true;
            for (std::uint32_t i = 0; i < length; ++i) {
                cell[i] &= pendingData_[i];
                verified = verified && cell[i] == pendingData_[i];
            }
            if (!verified)
                pendingResult_ = dfu::errPROG;
            else if (pendingCorrupt_ && length > 0)
                cell[length / 2] ^= 0x01;  // acknowledged all the same
            FlashChanged(pendingAddress_, length);
        }
        return ScaledUs(static_cast<std::uint64_t>(t.programUsPerKiB) * length / 1024);
    }
    case Pending::Manifest: return ScaledUs(t.commandUs);
    case Pending::None: break;
    }
    return 0;
}

void VirtualOrvo::FinishPending() {
    if (pending_ == Pending::Manifest) {
        state_ = dfu::dfuMANIFEST_WAIT_RESET;
    } else if (pendingResult_ != dfu::OK) {
        state_ = dfu::dfuERROR;
        status_ = pendingResult_;
    } else {
        state_ = dfu::dfuDNLOAD_IDLE;
    }
    pending_ = Pending::None;
    pendingData_.clear();
}

VirtualOrvo::Verdict VirtualOrvo::Violation(const std::string& what) {
    violations_.push_back(what + " (state " + DfuStateName(state_) + ")");
    if (state_ == dfu::dfuMANIFEST_WAIT_RESET)
        return Verdict::Stall;
    return StallWith(dfu::errSTALLEDPKT);
}

VirtualOrvo::Verdict VirtualOrvo::StallWith(std::uint8_t status) {
    state_ = dfu::dfuERROR;
    status_ = status;
    pending_ = Pending::None;
    return Verdict::Stall;
}

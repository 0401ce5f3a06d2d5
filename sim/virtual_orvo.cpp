#include "common/file_io.h"
#include "virtual_orvo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "device/dfu/dfu_engine.h"

namespace {

constexpr std::uint8_t kStringManufacturer = 1;
constexpr std::uint8_t kStringProduct = 2;
constexpr std::uint8_t kStringSerial = 3;
constexpr std::uint8_t kStringFirmwareMap = 4;
constexpr std::uint8_t kStringDataFlashMap = 5;

constexpr unsigned kReadable = 1;
constexpr unsigned kErasable = 2;
constexpr unsigned kWritable = 4;

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint8_t Lo(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t Hi(unsigned v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }

}  // namespace

VirtualOrvo::VirtualOrvo(VirtualOrvoConfig config)
    : config_(std::move(config)), flash_(kOrvoDataFlashSize, 0xFF), firmware_(kOrvoFirmwareSize) {
    // Some recognisable, non-erased content for the read-only firmware area.
    for (std::size_t i = 0; i < firmware_.size(); ++i)
        firmware_[i] = static_cast<std::uint8_t>((i * 31 + 7) & 0xFF);
    WriteIdentityBlock();
}

// --- descriptors

std::vector<std::uint8_t> VirtualOrvo::DeviceDescriptor() const {
    return {18,   1,    0x00, 0x02, 0, 0, 0, 64, Lo(kVirtualOrvoVendorId), Hi(kVirtualOrvoVendorId),
            Lo(kVirtualOrvoProductId), Hi(kVirtualOrvoProductId), 0x00, 0x02, kStringManufacturer,
            kStringProduct, kStringSerial, 1};
}

std::vector<std::uint8_t> VirtualOrvo::ConfigurationDescriptor() const {
    constexpr unsigned total = 9 + 9 + 9 + 9;
    std::vector<std::uint8_t> d = {9, 2, Lo(total), Hi(total), 1, 1, 0, 0x80, 50};
    for (std::uint8_t alt = 0; alt < 2; ++alt) {
        const std::uint8_t name = alt == 0 ? kStringFirmwareMap : kStringDataFlashMap;
        d.insert(d.end(), {9, 4, 0, alt, 0, dfu::kInterfaceClass, dfu::kInterfaceSubClass,
                           dfu::kInterfaceProtocolDfuMode, name});
    }
    // Functional descriptor: can download, can upload, manifestation tolerant;
    // detach timeout 255 ms; wTransferSize; DFU 1.1.
    d.insert(d.end(), {9, dfu::kFunctionalDescriptorType, 0x07, 0xFF, 0x00, Lo(kVirtualOrvoTransferSize),
                       Hi(kVirtualOrvoTransferSize), 0x10, 0x01});
    return d;
}

std::optional<std::string> VirtualOrvo::StringDescriptor(std::uint8_t index) const {
    switch (index) {
    case kStringManufacturer: return std::string("Orvo");
    case kStringProduct: return config_.usbProduct;
    case kStringSerial: return config_.usbSerial;
    case kStringFirmwareMap: return std::string(kOrvoFirmwareMap);
    case kStringDataFlashMap: return std::string(kOrvoDataFlashMap);
    default: return std::nullopt;
    }
}

UsbStatus VirtualOrvo::SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) {
    if (interfaceNumber != 0 || alternateSetting > 1)
        return UsbStatus::Stall;
    std::lock_guard lock(mutex_);
    alternate_ = alternateSetting;
    return UsbStatus::Ok;
}

void VirtualOrvo::OnAttach() {
    std::lock_guard lock(mutex_);
    detached_ = false;
    alternate_ = 0;
    state_ = dfu::dfuIDLE;
    status_ = dfu::OK;
    pointer_ = 0;
    pending_ = Pending::None;
    busyForever_ = false;
    noAnswer_ = false;
}

void VirtualOrvo::OnDetach() {
    {
        std::lock_guard lock(mutex_);
        detached_ = true;
    }
    wake_.notify_all();
}

// --- control transfers

bool VirtualOrvo::SleepUnlessDetached(std::chrono::microseconds duration) {
    if (duration.count() <= 0)
        return !detached_;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, duration, [this] { return detached_.load(); });
    return !detached_;
}

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
            erasedSectors_.push_back(start);
        }
        return ScaledUs(t.sectorEraseUs);
    case Pending::MassErase:
        if (alternate_ == 1)
            std::fill(flash_.begin(), flash_.end(), std::uint8_t{0xFF});
        else
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

// --- memory

const VirtualOrvo::Region& VirtualOrvo::CurrentRegion() const {
    static const Region firmware{kOrvoFirmwareStart, kOrvoFirmwareSize, kReadable};
    static const Region data{kOrvoDataFlashStart, kOrvoDataFlashSize, kReadable | kErasable | kWritable};
    return alternate_ == 0 ? firmware : data;
}

bool VirtualOrvo::InRegion(std::uint32_t address, std::uint32_t length, unsigned property) const {
    const Region& r = CurrentRegion();
    const std::uint64_t end = static_cast<std::uint64_t>(address) + length;
    return address >= r.start && end <= static_cast<std::uint64_t>(r.start) + r.size &&
           (r.properties & property) == property;
}

std::uint8_t* VirtualOrvo::MemoryAt(std::uint32_t address) {
    return alternate_ == 0 ? firmware_.data() + (address - kOrvoFirmwareStart)
                           : flash_.data() + (address - kOrvoDataFlashStart);
}

std::uint32_t VirtualOrvo::ScaledUs(std::uint64_t realUs) const {
    switch (config_.timing.mode) {
    case OrvoTiming::Mode::Instant: return 0;
    case OrvoTiming::Mode::Real: return static_cast<std::uint32_t>(realUs);
    case OrvoTiming::Mode::Scaled: break;
    }
    return static_cast<std::uint32_t>(std::llround(static_cast<double>(realUs) * config_.timing.scale));
}

std::vector<std::uint8_t> VirtualOrvo::ReadFlash(std::uint32_t address, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (address >= flash_.size())
        return {};
    const auto end = std::min<std::size_t>(flash_.size(), static_cast<std::size_t>(address) + length);
    return {flash_.begin() + address, flash_.begin() + static_cast<std::ptrdiff_t>(end)};
}

void VirtualOrvo::WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < bytes.size() && address + i < flash_.size(); ++i)
        flash_[address + i] = bytes[i];
}

void VirtualOrvo::WriteIdentityBlock() {
    std::vector<std::uint8_t> block(kOrvoIdentitySize, 0xFF);
    auto put = [&](std::size_t at, const std::string& text, std::size_t room) {
        const std::size_t n = std::min(text.size(), room - 1);
        std::copy_n(text.begin(), n, block.begin() + static_cast<std::ptrdiff_t>(at));
        block[at + n] = 0;
    };
    put(0, config_.serial.substr(0, 7), 8);
    put(8, config_.identityText, 32);
    put(40, config_.productName, 16);
    WriteFlash(kOrvoIdentityAddress, block);
}

bool VirtualOrvo::LoadFlash(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes(kOrvoDataFlashSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()) || in.peek() != std::char_traits<char>::eof()) {
        error = path + " is not an 8 MiB flash image";
        return false;
    }
    std::lock_guard lock(mutex_);
    flash_ = std::move(bytes);
    return true;
}

bool VirtualOrvo::SaveFlash(const std::string& path, std::string& error) const {
    std::lock_guard lock(mutex_);
    // Through a temporary file: a failed save keeps the earlier image, and a
    // link or device in the flash file's place is refused.
    if (const int written = WriteWholeFile(path, flash_.data(), flash_.size()); written != 0) {
        error = "cannot write " + WriteErrorText(path, written);
        return false;
    }
    return true;
}

// --- faults and observation

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

void VirtualOrvo::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    slowCount_ = 0;
    hangs_.clear();
}

void VirtualOrvo::SetTiming(const OrvoTiming& timing) {
    std::lock_guard lock(mutex_);
    config_.timing = timing;
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

std::uint8_t VirtualOrvo::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::uint8_t VirtualOrvo::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::uint8_t VirtualOrvo::AlternateSetting() const {
    std::lock_guard lock(mutex_);
    return alternate_;
}

unsigned VirtualOrvo::ProtocolViolations() const {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(violations_.size());
}

std::vector<std::string> VirtualOrvo::ViolationLog() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

std::vector<std::uint32_t> VirtualOrvo::ErasedSectors() const {
    std::lock_guard lock(mutex_);
    return erasedSectors_;
}

OrvoStats VirtualOrvo::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void VirtualOrvo::ResetStats() {
    std::lock_guard lock(mutex_);
    stats_ = {};
    erasedSectors_.clear();
    violations_.clear();
}

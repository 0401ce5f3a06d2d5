#include "virtual_orvo.h"

#include <algorithm>
#include <cmath>

// The Orvo's face on the bus (descriptors, plug and unplug), its timing, and
// what a test may observe. The protocol, the faults and the flash each have
// a file of their own beside this one.

namespace {

constexpr std::uint8_t kStringManufacturer = 1;
constexpr std::uint8_t kStringProduct = 2;
constexpr std::uint8_t kStringSerial = 3;
constexpr std::uint8_t kStringFirmwareMap = 4;
constexpr std::uint8_t kStringDataFlashMap = 5;

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
    DelayDescriptorRead();
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

bool VirtualOrvo::SleepUnlessDetached(std::chrono::microseconds duration) {
    if (duration.count() <= 0)
        return !detached_;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, duration, [this] { return detached_.load(); });
    return !detached_;
}

std::uint32_t VirtualOrvo::ScaledUs(std::uint64_t realUs) const {
    switch (config_.timing.mode) {
    case OrvoTiming::Mode::Instant: return 0;
    case OrvoTiming::Mode::Real: return static_cast<std::uint32_t>(realUs);
    case OrvoTiming::Mode::Scaled: break;
    }
    return static_cast<std::uint32_t>(std::llround(static_cast<double>(realUs) * config_.timing.scale));
}

void VirtualOrvo::SetTiming(const OrvoTiming& timing) {
    std::lock_guard lock(mutex_);
    config_.timing = timing;
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

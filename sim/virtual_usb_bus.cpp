#include "virtual_usb_bus.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "device/dfu/dfu_class.h"

struct VirtualUsbBus::Slot {
    std::string path;
    unsigned port = 0;
    std::shared_ptr<VirtualUsbDevice> device;
    std::atomic<bool> plugged{true};
    std::atomic<bool> denied{false};
    std::atomic<bool> claimed{false};
    std::mutex endpointZero;  // control transfers on one device run one at a time
    std::atomic<VirtualUsbBus*> bus{nullptr};
};

namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kSetInterface = 11;
constexpr std::uint8_t kDescriptorDevice = 1;
constexpr std::uint8_t kDescriptorConfiguration = 2;
constexpr std::uint8_t kDescriptorInterface = 4;

std::string MakePath(const std::vector<std::uint8_t>& deviceDescriptor, std::uint8_t bus, unsigned port) {
    unsigned vid = 0;
    unsigned pid = 0;
    if (deviceDescriptor.size() >= 12) {
        vid = deviceDescriptor[8] | (deviceDescriptor[9] << 8u);
        pid = deviceDescriptor[10] | (deviceDescriptor[11] << 8u);
    }
    char text[64];
    std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X\\BUS_%03u&PORT_%u", vid, pid, bus, port);
    return text;
}

// Interface numbers of the DFU-mode interfaces, each once, in descriptor order.
std::vector<std::uint8_t> DfuInterfaceNumbers(const std::vector<std::uint8_t>& config) {
    std::vector<std::uint8_t> numbers;
    for (std::size_t at = 0; at + 1 < config.size() && config[at] >= 2; at += config[at]) {
        if (config[at + 1] != kDescriptorInterface || at + 9 > config.size())
            continue;
        if (config[at + 5] == dfu::kInterfaceClass && config[at + 6] == dfu::kInterfaceSubClass &&
            config[at + 7] == dfu::kInterfaceProtocolDfuMode &&
            std::find(numbers.begin(), numbers.end(), config[at + 2]) == numbers.end())
            numbers.push_back(config[at + 2]);
    }
    return numbers;
}

}  // namespace

class VirtualUsbHandle : public UsbDeviceHandle {
public:
    VirtualUsbHandle(std::shared_ptr<VirtualUsbBus::Slot> slot, std::shared_ptr<std::atomic<std::size_t>> counter)
        : slot_(std::move(slot)), counter_(std::move(counter)) {
        ++*counter_;
    }
    ~VirtualUsbHandle() override {
        if (claimed_)
            slot_->claimed = false;
        --*counter_;
    }

    UsbStatus ClaimInterface(std::uint8_t) override {
        if (!slot_->plugged)
            return UsbStatus::NoDevice;
        if (claimed_)
            return UsbStatus::Ok;
        bool expected = false;
        if (!slot_->claimed.compare_exchange_strong(expected, true))
            return UsbStatus::Error;  // busy: another handle has it
        claimed_ = true;
        return UsbStatus::Ok;
    }

    UsbStatus ReleaseInterface(std::uint8_t) override {
        if (claimed_) {
            slot_->claimed = false;
            claimed_ = false;
        }
        return slot_->plugged ? UsbStatus::Ok : UsbStatus::NoDevice;
    }

    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override {
        if (!slot_->plugged)
            return UsbStatus::NoDevice;
        std::lock_guard lock(slot_->endpointZero);
        return slot_->device->SetAlternateSetting(interfaceNumber, alternateSetting);
    }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data, unsigned timeoutMs,
                              std::size_t& transferred) override {
        transferred = 0;
        if (!slot_->plugged)
            return UsbStatus::NoDevice;
        if (setup.bmRequestType == 0x80 && setup.bRequest == kGetDescriptor)
            return StandardDescriptor(setup, data, transferred);
        if (setup.bmRequestType == 0x01 && setup.bRequest == kSetInterface)
            return SetAlternateSetting(static_cast<std::uint8_t>(setup.wIndex),
                                       static_cast<std::uint8_t>(setup.wValue));

        std::lock_guard lock(slot_->endpointZero);
        const auto started = std::chrono::steady_clock::now();
        const UsbStatus status = slot_->device->ControlTransfer(setup, data, transferred);
        if (status == UsbStatus::NoDevice || !slot_->plugged) {
            if (VirtualUsbBus* bus = slot_->bus.load())
                bus->Detach(slot_);
            transferred = 0;
            return UsbStatus::NoDevice;
        }
        // The host gave up before the device answered: whatever the device
        // did, the host only sees the timeout.
        const auto modelled = slot_->device->LastAnswerTime();
        const auto took = modelled ? *modelled : std::chrono::duration_cast<std::chrono::microseconds>(
                                                     std::chrono::steady_clock::now() - started);
        if (took > std::chrono::milliseconds(timeoutMs)) {
            transferred = 0;
            return UsbStatus::Timeout;
        }
        return status;
    }

    UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned) override {
        if (!slot_->plugged)
            return UsbStatus::NoDevice;
        const auto value = slot_->device->StringDescriptor(index);
        if (!value)
            return UsbStatus::Stall;
        text.clear();
        for (char c : *value)
            text.push_back(static_cast<unsigned char>(c) > 0x7F ? '?' : c);
        return UsbStatus::Ok;
    }

    // Address 1 is the root hub's; devices follow in port order.
    std::uint8_t DeviceAddress() const override { return static_cast<std::uint8_t>(slot_->port + 1); }

    UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) override {
        if (!slot_->plugged)
            return UsbStatus::NoDevice;
        descriptor = slot_->device->ConfigurationDescriptor();
        return UsbStatus::Ok;
    }

private:
    UsbStatus StandardDescriptor(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                                 std::size_t& transferred) {
        std::vector<std::uint8_t> bytes;
        const auto type = static_cast<std::uint8_t>(setup.wValue >> 8);
        if (type == kDescriptorDevice)
            bytes = slot_->device->DeviceDescriptor();
        else if (type == kDescriptorConfiguration)
            bytes = slot_->device->ConfigurationDescriptor();
        else
            return UsbStatus::Stall;
        transferred = std::min({bytes.size(), data.size(), static_cast<std::size_t>(setup.wLength)});
        std::copy_n(bytes.begin(), transferred, data.begin());
        return UsbStatus::Ok;
    }

    std::shared_ptr<VirtualUsbBus::Slot> slot_;
    std::shared_ptr<std::atomic<std::size_t>> counter_;
    bool claimed_ = false;
};

VirtualUsbBus::VirtualUsbBus(std::uint8_t busNumber) : busNumber_(busNumber) {}

VirtualUsbBus::~VirtualUsbBus() { UnplugAll(); }

std::string VirtualUsbBus::Plug(std::shared_ptr<VirtualUsbDevice> device) {
    auto slot = std::make_shared<Slot>();
    slot->device = std::move(device);
    slot->bus = this;
    slot->device->OnAttach();
    std::lock_guard lock(mutex_);
    unsigned port = 1;
    while (std::any_of(slots_.begin(), slots_.end(), [&](const auto& s) { return s->port == port; }))
        ++port;
    slot->port = port;
    slot->path = MakePath(slot->device->DeviceDescriptor(), busNumber_, port);
    slots_.push_back(slot);
    std::sort(slots_.begin(), slots_.end(), [](const auto& a, const auto& b) { return a->port < b->port; });
    return slot->path;
}

void VirtualUsbBus::Detach(const std::shared_ptr<Slot>& slot) {
    {
        std::lock_guard lock(mutex_);
        if (slot->bus.exchange(nullptr) == nullptr)
            return;  // already gone: a transfer and an unplug met
        slot->plugged = false;
        slots_.erase(std::remove(slots_.begin(), slots_.end(), slot), slots_.end());
    }
    slot->device->OnDetach();
}

bool VirtualUsbBus::Unplug(const std::string& path) {
    const auto slot = Find(path);
    if (!slot)
        return false;
    Detach(slot);
    return true;
}

void VirtualUsbBus::UnplugAll() {
    std::vector<std::shared_ptr<Slot>> all;
    {
        std::lock_guard lock(mutex_);
        all = slots_;
    }
    for (const auto& slot : all)
        Detach(slot);
}

void VirtualUsbBus::DenyAccess(const std::string& path, bool deny) {
    if (const auto slot = Find(path))
        slot->denied = deny;
}

std::size_t VirtualUsbBus::AttachedCount() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
}

std::shared_ptr<VirtualUsbBus::Slot> VirtualUsbBus::Find(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot->path.size() == path.size() &&
            std::equal(path.begin(), path.end(), slot->path.begin(),
                       [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
            return slot;
    }
    return nullptr;
}

std::unique_ptr<UsbDeviceHandle> VirtualUsbBus::Open(const std::string& path, UsbStatus& status) {
    const auto slot = Find(path);
    if (!slot) {
        status = UsbStatus::NotFound;
        return nullptr;
    }
    if (slot->denied) {
        status = UsbStatus::AccessDenied;
        return nullptr;
    }
    status = UsbStatus::Ok;
    return std::make_unique<VirtualUsbHandle>(slot, openHandles_);
}

std::vector<DfuInterfaceInfo> VirtualUsbBus::EnumerateDfuInterfaces() {
    std::vector<std::shared_ptr<Slot>> present;
    {
        std::lock_guard lock(mutex_);
        present = slots_;
    }
    constexpr unsigned kStringTimeoutMs = 100;
    std::vector<DfuInterfaceInfo> found;
    for (const auto& slot : present) {
        const auto device = slot->device->DeviceDescriptor();
        for (std::uint8_t number : DfuInterfaceNumbers(slot->device->ConfigurationDescriptor())) {
            DfuInterfaceInfo info;
            info.path = slot->path;
            info.interfaceNumber = number;
            UsbStatus status = UsbStatus::Ok;
            if (auto handle = Open(slot->path, status)) {
                std::string product;
                const std::uint8_t productIndex = device.size() > 15 ? device[15] : 0;
                status = productIndex == 0 ? UsbStatus::Stall
                                           : handle->GetStringDescriptor(productIndex, product, kStringTimeoutMs);
                if (status == UsbStatus::Ok)
                    info.description = product;
            }
            info.descriptionStatus = status;
            found.push_back(std::move(info));
        }
    }
    return found;
}

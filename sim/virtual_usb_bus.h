#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/usb/usb_backend.h"
#include "virtual_usb_device.h"

// A USB bus in memory: device models are plugged into root ports and pulled
// out at any moment, also while a transfer is under way (the transfer then
// ends with NoDevice). Implements the same backend interface as libusb, so the
// engine and discovery cannot tell the difference.
class VirtualUsbBus : public UsbBackend {
public:
    explicit VirtualUsbBus(std::uint8_t busNumber = 1);
    ~VirtualUsbBus() override;
    VirtualUsbBus(const VirtualUsbBus&) = delete;
    VirtualUsbBus& operator=(const VirtualUsbBus&) = delete;

    // Plugs a device into the lowest free root port and returns its path.
    std::string Plug(std::shared_ptr<VirtualUsbDevice> device);
    // Returns false when nothing is plugged in at that path.
    bool Unplug(const std::string& path);
    void UnplugAll();
    // Opening the device fails with AccessDenied, as for a user without the
    // udev rule: its product string cannot be read.
    void DenyAccess(const std::string& path, bool deny = true);

    std::size_t AttachedCount() const;
    // Handles currently open, enumeration's short-lived ones included.
    std::size_t OpenHandles() const { return openHandles_->load(); }

    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override;
    std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override;

    struct Slot;

private:
    std::shared_ptr<Slot> Find(const std::string& path) const;
    void Detach(const std::shared_ptr<Slot>& slot);

    const std::uint8_t busNumber_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Slot>> slots_;
    std::shared_ptr<std::atomic<std::size_t>> openHandles_ = std::make_shared<std::atomic<std::size_t>>(0);
    friend class VirtualUsbHandle;
};

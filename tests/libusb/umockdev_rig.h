#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/usb/libusb_backend.h"
#include "libusb/file_mode_override.h"
#include "libusb/umockdev_usb_bus.h"
#include "support/transport_rig.h"

// The transport contract's rig for the real libusb code path: virtual Orvos
// on the umockdev bus, seen through a LibusbBackend.
class UmockdevRig : public TransportRig {
public:
    UmockdevRig() : backend_(std::make_unique<LibusbBackend>()) {}
    ~UmockdevRig() override { backend_.reset(); }  // before the bus goes

    UsbBackend& Backend() override { return *backend_; }

    std::string Plug(std::shared_ptr<VirtualOrvo> orvo) override {
        const auto descriptor = orvo->DeviceDescriptor();
        UmockdevUsbBus::Placement placement;
        std::string path;
        {
            std::lock_guard lock(mutex_);
            placement.address = nextAddress_++;
            placement.ports = {nextPort_++};
            path = FormatUsbDevicePath(static_cast<unsigned>(descriptor.at(8) | (descriptor.at(9) << 8)),
                                       static_cast<unsigned>(descriptor.at(10) | (descriptor.at(11) << 8)),
                                       placement.bus, placement.ports);
        }
        const int id = bus_.Plug(std::move(orvo), placement);
        {
            std::lock_guard lock(mutex_);
            ids_[path] = id;
        }
        WaitUntilListed(path, true);
        return path;
    }

    void Unplug(const std::string& path) override {
        int id = -1;
        {
            std::lock_guard lock(mutex_);
            id = ids_.at(path);
        }
        bus_.Unplug(id);
        WaitUntilListed(path, false);
    }

    // The node gets mode 000, and, when running as root, this thread drops
    // the capabilities that would override it until the rig goes.
    bool DenyAccess(const std::string& path) override {
        int id = -1;
        {
            std::lock_guard lock(mutex_);
            id = ids_.at(path);
        }
        bus_.DenyAccess(id);
        if (::geteuid() == 0 && !asUser_) {
            asUser_.emplace();
        }
        return true;
    }

    UmockdevUsbBus& Bus() { return bus_; }

private:
    // libusb learns of plugging through uevents, a moment later.
    void WaitUntilListed(const std::string& path, bool listed) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < deadline) {
            bool present = false;
            for (const auto& info : backend_->EnumerateDfuInterfaces()) {
                present = present || info.path == path;
            }
            if (present == listed) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    UmockdevUsbBus bus_;  // first: libusb must find the emulated /dev and /sys
    std::unique_ptr<LibusbBackend> backend_;
    std::mutex mutex_;
    unsigned nextAddress_ = 2;
    unsigned nextPort_ = 1;
    std::map<std::string, int> ids_;
    std::optional<WithoutFileModeOverride> asUser_;
};

inline std::unique_ptr<TransportRig> MakeUmockdevRig() {
    if (!UmockdevUsbBus::IsEmulationActive()) {
        return nullptr;  // the contract's SetUp fails: run under umockdev-wrapper
    }
    return std::make_unique<UmockdevRig>();
}

#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/usb/usb_backend.h"

class LibusbContext;

// UsbBackend over libusb-1.0, for real devices. Each backend has a libusb
// context of its own, so several can coexist (tests create one per case).
class LibusbBackend : public UsbBackend {
public:
    // Short enough that the device watcher's scans stay quick even when a
    // device does not answer.
    static constexpr unsigned kDescriptionTimeoutMs = 200;

    LibusbBackend();
    ~LibusbBackend() override;
    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    // False when libusb could not be initialised (no USB support at all);
    // the backend then finds nothing and opens nothing.
    bool IsAvailable() const;

    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override;
    std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override;

    // libusb's hotplug notice, where the platform has it. One watcher per
    // backend: a change is reported to the first wait that sees it.
    bool WatchDeviceChanges() override;
    bool WaitForDeviceChange(std::chrono::milliseconds timeout) override;
    void WakeDeviceChangeWait() override;

private:
    // Shared with every handle this backend opened, so that a handle that
    // outlives the backend still closes on a live context.
    std::shared_ptr<LibusbContext> context_;
    // The registered hotplug callback; deregistered before the context can go.
    struct Hotplug;
    std::unique_ptr<Hotplug> hotplug_;
    std::mutex hotplugMutex_;
};

// libusb error code -> UsbStatus (LIBUSB_ERROR_PIPE is a stall, and so on).
UsbStatus UsbStatusFromLibusb(int libusbError);

// Formats the path of a device: USB\VID_vvvv&PID_pppp\BUS_bbb&PORT_p.p.p.
// `ports` are the port numbers from the root hub down; an empty list (a root
// hub) gives PORT_0.
std::string FormatUsbDevicePath(unsigned vendorId, unsigned productId, unsigned bus,
                                const std::vector<unsigned>& ports);

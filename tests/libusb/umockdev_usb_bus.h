#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "virtual_usb_device.h"

// Puts VirtualUsbDevice models on an emulated Linux USB bus (a umockdev
// testbed), so that the real libusb code path runs against them: sysfs
// attributes and descriptors for enumeration, and a usbdevfs ioctl handler
// that carries libusb's URBs to the model.
//
// The test program must run under umockdev-wrapper (the preload library that
// redirects /sys and /dev into the testbed); ctest does that. Create the bus
// before any LibusbBackend and destroy it after the last one.
class UmockdevUsbBus {
public:
    struct Placement {
        unsigned bus = 1;
        unsigned address = 2;
        // Port numbers from the root hub down, e.g. {1} or {2, 3}.
        std::vector<unsigned> ports{1};
        // The device node is there but this user may not open it.
        bool accessDenied = false;
    };

    UmockdevUsbBus();
    ~UmockdevUsbBus();
    UmockdevUsbBus(const UmockdevUsbBus&) = delete;
    UmockdevUsbBus& operator=(const UmockdevUsbBus&) = delete;

    // True when the umockdev preload library is loaded into this process.
    static bool IsEmulationActive();

    // Plugs the model in; returns its handle for Unplug.
    int Plug(std::shared_ptr<VirtualUsbDevice> device, const Placement& placement);
    int Plug(std::shared_ptr<VirtualUsbDevice> device) { return Plug(std::move(device), Placement{}); }
    // Pulls the device out: transfers in flight end with "no device", later
    // ioctls fail with ENODEV, and it disappears from sysfs. Any thread. A
    // model that answers NoDevice is unplugged the same way by the bus.
    void Unplug(int id);
    bool IsAttached(int id) const;
    // From now on the device node may not be opened (mode 000); a process
    // with root's file-mode override still can.
    void DenyAccess(int id);

    // Number of control transfers the bus carried to device `id`.
    std::size_t TransferCount(int id) const;

    class Device;

private:
    Device& At(int id) const;

    struct Testbed;
    std::unique_ptr<Testbed> testbed_;
    std::vector<std::unique_ptr<Device>> devices_;
};

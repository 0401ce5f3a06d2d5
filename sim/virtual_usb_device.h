#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/usb/usb_backend.h"

// A device model that can sit on a simulated bus: the virtual bus of the
// simulator and the umockdev fixture (usbdevfs emulation for the libusb path)
// both drive it through this interface, so the same model answers both.
class VirtualUsbDevice {
public:
    virtual ~VirtualUsbDevice() = default;

    // Raw descriptors as the device would send them.
    virtual std::vector<std::uint8_t> DeviceDescriptor() const = 0;
    virtual std::vector<std::uint8_t> ConfigurationDescriptor() const = 0;
    // String descriptor `index` as ASCII; nullopt when the device has none.
    virtual std::optional<std::string> StringDescriptor(std::uint8_t index) const = 0;

    virtual UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) = 0;

    // Every control transfer that is not a standard GET_DESCRIPTOR or
    // SET_INTERFACE (those go through the calls above). Same contract as
    // UsbDeviceHandle::ControlTransfer. May block to model a slow device.
    // NoDevice means the device has just left the bus (an unplug injected in
    // the middle of this transfer): the bus must detach it.
    virtual UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                                      std::size_t& transferred) = 0;

    // The bus tells the model when it is plugged in (a fresh USB reset: the
    // model returns to its power-on state, keeping its memory) and when it is
    // pulled out (a transfer blocked inside the model should end promptly).
    virtual void OnAttach() {}
    virtual void OnDetach() {}
};

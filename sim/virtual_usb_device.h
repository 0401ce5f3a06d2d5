#pragma once

#include <chrono>
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
    // How long the model meant the last ControlTransfer to take (its
    // modelled delay and wire time), which the bus compares with the host's
    // time-out; nothing when the model has no such notion and the clock must
    // judge. A slow machine must never turn a quick answer into a time-out.
    virtual std::optional<std::chrono::microseconds> LastAnswerTime() const { return std::nullopt; }

    // The bus tells the model when it is plugged in (a fresh USB reset: the
    // model returns to its power-on state, keeping its memory) and when it is
    // pulled out (a transfer blocked inside the model should end promptly).
    virtual void OnAttach() {}
    virtual void OnDetach() {}
};

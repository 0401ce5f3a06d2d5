#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The USB access the DFU engine and discovery need, with two implementations:
// libusb for real devices and the virtual bus of the simulator.

struct UsbSetupPacket {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

enum class UsbStatus {
    Ok,
    Stall,         // the device answered with a STALL handshake
    Timeout,       // no answer within the transfer's timeout
    NoDevice,      // the device is gone
    AccessDenied,  // the device exists but may not be opened by this user
    NotFound,      // no device at that path
    Error,         // any other failure
};

const char* UsbStatusName(UsbStatus status);

// The interface class, subclass and protocol of a DFU-mode interface (USB DFU
// 1.1): what the backends enumerate and the engine looks for.
namespace DfuModeInterface {
inline constexpr std::uint8_t Class = 0xFE;
inline constexpr std::uint8_t SubClass = 0x01;
inline constexpr std::uint8_t Protocol = 0x02;
}  // namespace DfuModeInterface

// What every backend asks of a device's descriptors (USB 2.0, chapter 9).
namespace UsbDescriptor {
inline constexpr std::uint8_t ConfigurationType = 2;
inline constexpr std::uint8_t StringType = 3;
inline constexpr std::uint16_t LanguageUsEnglish = 0x0409;
// A device that does not answer a descriptor request within this is not used.
inline constexpr unsigned TimeoutMs = 1000;
}  // namespace UsbDescriptor

// One DFU-mode interface (class 0xFE, subclass 0x01, protocol 0x02) found on
// the bus.
struct DfuInterfaceInfo {
    // USB\VID_vvvv&PID_pppp\BUS_bbb&PORT_p.p.p, upper case; unique per
    // attached device and stable while it stays plugged in.
    std::string path;
    // The product string; empty when the device cannot be opened or the string
    // cannot be read (such a device does not count as found).
    std::optional<std::string> description;
    std::uint8_t interfaceNumber = 0;
    // Why there is no description, for the tools' error output.
    UsbStatus descriptionStatus = UsbStatus::Ok;
};

class UsbDeviceHandle {
public:
    virtual ~UsbDeviceHandle() = default;

    virtual UsbStatus ClaimInterface(std::uint8_t interfaceNumber) = 0;
    virtual UsbStatus ReleaseInterface(std::uint8_t interfaceNumber) = 0;
    virtual UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) = 0;

    // A control transfer on endpoint 0. For device-to-host requests `data`
    // receives up to setup.wLength bytes; for host-to-device requests it holds
    // the bytes to send. `transferred` is the number of bytes moved.
    virtual UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                                      unsigned timeoutMs, std::size_t& transferred) = 0;

    // String descriptor as ASCII (characters above 0x7F become '?').
    virtual UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned timeoutMs) = 0;
    // The whole active configuration descriptor, with interface and
    // functional descriptors.
    virtual UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) = 0;

    // The device's address on its bus, for USB captures (usbmon names a device
    // by bus and address); 0 when the backend has no such notion.
    virtual std::uint8_t DeviceAddress() const { return 0; }
};

class UsbBackend {
public:
    virtual ~UsbBackend() = default;

    // Every DFU-mode interface present now, in enumeration order. Each device
    // is opened only for as long as it takes to read its product string.
    virtual std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() = 0;

    // Opens the device at a path from EnumerateDfuInterfaces.
    virtual std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) = 0;

    // Arrivals and departures, for the device watcher. A backend that sees
    // them (libusb's hotplug, where the platform has it) returns true here
    // and reports them through WaitForDeviceChange; the others are scanned
    // every so often instead.
    virtual bool WatchDeviceChanges() { return false; }
    // Waits at most `timeout` for some device to arrive or leave; true when
    // one did.
    virtual bool WaitForDeviceChange(std::chrono::milliseconds /*timeout*/) { return false; }
    // Ends a WaitForDeviceChange under way on another thread early; harmless
    // when none is.
    virtual void WakeDeviceChangeWait() {}
};

#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/usb/usb_backend.h"
#include "device/usb/winusb_calls.h"

// UsbBackend over WinUSB and the device-setup service, through a table of the
// Windows calls (WinUsbCalls), so that everything here runs and is tested on
// every platform.
//
// Discovery lists the present interfaces of the DFU interface class that the
// INF gives the Orvo's DFU interface. A path is the interface's path,
// upper-cased; an interface whose device description cannot be read is
// listed without a description, so it does not count as found.
class WinUsbBackend : public UsbBackend {
public:
    // The bound a transfer with no time-out of its own gets: a device that
    // never answers must not hang the caller.
    static constexpr unsigned kDefaultTransferTimeoutMs = 5000;

    explicit WinUsbBackend(WinUsbCalls& calls);
    ~WinUsbBackend() override;
    WinUsbBackend(const WinUsbBackend&) = delete;
    WinUsbBackend& operator=(const WinUsbBackend&) = delete;

    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override;
    std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override;

    bool WatchDeviceChanges() override;
    bool WaitForDeviceChange(std::chrono::milliseconds timeout) override;
    void WakeDeviceChangeWait() override;

    // The Windows error that cut the last enumeration short, 0 when it went
    // to the end of the list (an empty list included).
    std::uint32_t LastEnumerationError() const;

private:
    WinUsbCalls& calls_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint32_t lastEnumerationError_ = 0;
    bool watching_ = false;
    bool deviceChanged_ = false;
    bool woken_ = false;
};

// Windows error code -> UsbStatus (ERROR_GEN_FAILURE is WinUSB's word for a
// stall, and so on).
UsbStatus UsbStatusFromWindowsError(std::uint32_t error);

// The interface number in an interface path: a composite device's function
// carries "&MI_nn" (hexadecimal); a device with one function has none and
// is interface 0.
std::uint8_t InterfaceNumberFromPath(const std::string& path);

// The text of a string descriptor as ASCII (code units above 0x7F become
// '?'); false when the bytes are not a string descriptor.
bool DecodeStringDescriptor(std::span<const std::uint8_t> bytes, std::string& text);

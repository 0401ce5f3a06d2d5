#pragma once

#include <memory>

#include "device/usb/winusb_calls.h"

// The table of Windows calls behind WinUsbBackend: the device-setup service,
// CreateFileW, WinUSB and the configuration manager's notices.
class WindowsWinUsbCalls : public WinUsbCalls {
public:
    WindowsWinUsbCalls();
    ~WindowsWinUsbCalls() override;
    WindowsWinUsbCalls(const WindowsWinUsbCalls&) = delete;
    WindowsWinUsbCalls& operator=(const WindowsWinUsbCalls&) = delete;

    Handle OpenInterfaceSet(std::uint32_t& error) override;
    bool EnumerateInterface(Handle set, std::uint32_t index, std::uint32_t& error) override;
    std::optional<std::string> InterfacePath(Handle set, std::uint32_t index, std::uint32_t& error) override;
    std::optional<std::string> DeviceDescription(Handle set, std::uint32_t index, std::uint32_t& error) override;
    void CloseInterfaceSet(Handle set) override;

    Handle OpenDevice(const std::string& path, std::uint32_t& error) override;
    void CloseDevice(Handle device) override;
    bool SetAlternateSetting(Handle device, std::uint8_t alternateSetting, std::uint32_t& error) override;
    bool SetControlTimeout(Handle device, std::uint32_t timeoutMs, std::uint32_t& error) override;
    bool ControlTransfer(Handle device, const SetupPacket& setup, std::span<std::uint8_t> data,
                         std::uint32_t& transferred, std::uint32_t& error) override;
    bool GetDescriptor(Handle device, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                       std::span<std::uint8_t> buffer, std::uint32_t& transferred, std::uint32_t& error) override;

    bool RegisterInterfaceNotices(std::function<void()> notice) override;
    void UnregisterInterfaceNotices() override;

private:
    struct Notices;
    std::unique_ptr<Notices> notices_;
};

// The one table of the process, for the default backend.
WinUsbCalls& SystemWinUsbCalls();

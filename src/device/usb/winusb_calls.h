#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

// The Windows calls the WinUSB backend makes, one method each, in plain types
// (no Windows header): the device-setup service for discovery, CreateFileW
// and WinUSB for transfers, the configuration manager for arrival notices.
// The backend's own rules sit above this table and run on every platform;
// tests put recorded answers behind it.
class WinUsbCalls {
public:
    // An opaque handle; 0 is none.
    using Handle = std::uintptr_t;

    // Windows error codes the backend tells apart.
    static constexpr std::uint32_t kFileNotFound = 2;
    static constexpr std::uint32_t kAccessDenied = 5;
    static constexpr std::uint32_t kGenFailure = 31;  // a STALL handshake
    static constexpr std::uint32_t kSemTimeout = 121;
    static constexpr std::uint32_t kNoMoreItems = 259;

    // The 8 bytes of a control transfer's setup stage.
    struct SetupPacket {
        std::uint8_t requestType = 0;
        std::uint8_t request = 0;
        std::uint16_t value = 0;
        std::uint16_t index = 0;
        std::uint16_t length = 0;
    };

    virtual ~WinUsbCalls() = default;

    // SetupDiGetClassDevsW for the DFU interface class, present interfaces
    // only. 0 with `error` set when the set could not be made.
    virtual Handle OpenInterfaceSet(std::uint32_t& error) = 0;
    // SetupDiEnumDeviceInterfaces at `index`; false with kNoMoreItems past
    // the last one.
    virtual bool EnumerateInterface(Handle set, std::uint32_t index, std::uint32_t& error) = 0;
    // SetupDiGetDeviceInterfaceDetailW (asked for its size, then for the
    // record): the interface's path, UTF-8.
    virtual std::optional<std::string> InterfacePath(Handle set, std::uint32_t index, std::uint32_t& error) = 0;
    // SetupDiGetDeviceRegistryPropertyW(SPDRP_DEVICEDESC) of the device the
    // interface belongs to, UTF-8.
    virtual std::optional<std::string> DeviceDescription(Handle set, std::uint32_t index, std::uint32_t& error) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void CloseInterfaceSet(Handle set) = 0;

    // CreateFileW (read/write, overlapped, as WinUSB wants) then
    // WinUsb_Initialize; 0 with `error` set when either fails (nothing stays
    // open then).
    virtual Handle OpenDevice(const std::string& path, std::uint32_t& error) = 0;
    // WinUsb_Free and CloseHandle.
    virtual void CloseDevice(Handle device) = 0;
    virtual bool SetAlternateSetting(Handle device, std::uint8_t alternateSetting, std::uint32_t& error) = 0;
    // WinUsb_SetPipePolicy(PIPE_TRANSFER_TIMEOUT) on the default pipe.
    virtual bool SetControlTimeout(Handle device, std::uint32_t timeoutMs, std::uint32_t& error) = 0;
    // WinUsb_ControlTransfer; `data` holds setup.length bytes.
    virtual bool ControlTransfer(Handle device, const SetupPacket& setup, std::span<std::uint8_t> data,
                                 std::uint32_t& transferred, std::uint32_t& error) = 0;
    // WinUsb_GetDescriptor.
    virtual bool GetDescriptor(Handle device, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                               std::span<std::uint8_t> buffer, std::uint32_t& transferred, std::uint32_t& error) = 0;

    // CM_Register_Notification for arrivals and removals of the DFU
    // interface class; false where the system has no such notices (the
    // device watcher then scans). `notice` may run on any thread.
    virtual bool RegisterInterfaceNotices(std::function<void()> notice) = 0;
    virtual void UnregisterInterfaceNotices() = 0;
};

#include "device/usb/winusb_calls_windows.h"

// clang-format off
#include "common/windows_support.h"
#include <setupapi.h>
#include <cfgmgr32.h>
#include <winusb.h>
// clang-format on

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

// The DFU interface class the INF gives the Orvo's DFU interface.
static const GUID kDfuInterfaceGuid = {0x3FE809AB, 0xFB91, 0x4CB5, {0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};

// The detail record's size field holds the size of the fixed part as this
// platform defines it (8 on 64-bit Windows, whatever the path's length).
static_assert(sizeof(void*) != 8 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

namespace {

HDEVINFO AsSet(WinUsbCalls::Handle set) { return reinterpret_cast<HDEVINFO>(set); }

// The interface at `index` and the device it belongs to.
bool InterfaceAt(WinUsbCalls::Handle set, std::uint32_t index, SP_DEVICE_INTERFACE_DATA& interfaceData) {
    interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    return SetupDiEnumDeviceInterfaces(AsSet(set), nullptr, &kDfuInterfaceGuid, index, &interfaceData) != FALSE;
}

struct OpenDeviceRecord {
    HANDLE file = INVALID_HANDLE_VALUE;
    WINUSB_INTERFACE_HANDLE usb = nullptr;
};

OpenDeviceRecord* AsDevice(WinUsbCalls::Handle device) { return reinterpret_cast<OpenDeviceRecord*>(device); }

// Only Windows 8 and later have configuration-manager notices; they are
// looked up at run time so the program still starts where they are missing.
using RegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
using UnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

// GetProcAddress gives every entry point one type; this is the neutral one
// that may be cast to the entry point's real type.
using AnyFunctionType = void (*)();
AnyFunctionType AnyFunction(FARPROC entry) { return reinterpret_cast<AnyFunctionType>(entry); }

struct NotificationEntryPoints {
    RegisterNotification registerNotification = nullptr;
    UnregisterNotification unregisterNotification = nullptr;
};

NotificationEntryPoints LoadNotificationEntryPoints() {
    NotificationEntryPoints entry;
    HMODULE module = LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr)
        return entry;
    entry.registerNotification =
        reinterpret_cast<RegisterNotification>(AnyFunction(GetProcAddress(module, "CM_Register_Notification")));
    entry.unregisterNotification =
        reinterpret_cast<UnregisterNotification>(AnyFunction(GetProcAddress(module, "CM_Unregister_Notification")));
    if (entry.registerNotification == nullptr || entry.unregisterNotification == nullptr)
        entry = {};
    return entry;
}

DWORD CALLBACK OnInterfaceNotice(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA,
                                 DWORD) {
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL)
        (*static_cast<std::function<void()>*>(context))();
    return ERROR_SUCCESS;
}

}  // namespace

struct WindowsWinUsbCalls::Notices {
    std::function<void()> notice;
    HCMNOTIFICATION registration = nullptr;
    UnregisterNotification unregister = nullptr;
};

WindowsWinUsbCalls::WindowsWinUsbCalls() = default;

WindowsWinUsbCalls::~WindowsWinUsbCalls() { UnregisterInterfaceNotices(); }

WinUsbCalls::Handle WindowsWinUsbCalls::OpenInterfaceSet(std::uint32_t& error) {
    const HDEVINFO set = SetupDiGetClassDevsW(&kDfuInterfaceGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return 0;
    }
    return reinterpret_cast<Handle>(set);
}

bool WindowsWinUsbCalls::EnumerateInterface(Handle set, std::uint32_t index, std::uint32_t& error) {
    SP_DEVICE_INTERFACE_DATA interfaceData;
    if (InterfaceAt(set, index, interfaceData))
        return true;
    error = GetLastError();
    return false;
}

std::optional<std::string> WindowsWinUsbCalls::InterfacePath(Handle set, std::uint32_t index, std::uint32_t& error) {
    SP_DEVICE_INTERFACE_DATA interfaceData;
    if (!InterfaceAt(set, index, interfaceData)) {
        error = GetLastError();
        return std::nullopt;
    }
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(AsSet(set), &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        error = GetLastError();
        return std::nullopt;
    }
    // Aligned for the record, and long enough for the path the size asked for.
    std::vector<std::max_align_t> storage(required / sizeof(std::max_align_t) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(AsSet(set), &interfaceData, detail, required, nullptr, nullptr)) {
        error = GetLastError();
        return std::nullopt;
    }
    return Narrow(detail->DevicePath);
}

std::optional<std::string> WindowsWinUsbCalls::DeviceDescription(Handle set, std::uint32_t index,
                                                                 std::uint32_t& error) {
    SP_DEVICE_INTERFACE_DATA interfaceData;
    if (!InterfaceAt(set, index, interfaceData)) {
        error = GetLastError();
        return std::nullopt;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(AsSet(set), &interfaceData, nullptr, 0, &required, &device);
    if (device.DevInst == 0) {
        error = GetLastError();
        return std::nullopt;
    }
    std::wstring text(256, L'\0');
    DWORD type = 0;
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(AsSet(set), &device, SPDRP_DEVICEDESC, &type,
                                           reinterpret_cast<BYTE*>(text.data()),
                                           static_cast<DWORD>(text.size() * sizeof(wchar_t)), &size) ||
        type != REG_SZ) {
        error = type != REG_SZ && GetLastError() == 0 ? ERROR_INVALID_DATA : GetLastError();
        return std::nullopt;
    }
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return Narrow(text);
}

void WindowsWinUsbCalls::CloseInterfaceSet(Handle set) { SetupDiDestroyDeviceInfoList(AsSet(set)); }

WinUsbCalls::Handle WindowsWinUsbCalls::OpenDevice(const std::string& path, std::uint32_t& error) {
    auto record = std::make_unique<OpenDeviceRecord>();
    record->file = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (record->file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return 0;
    }
    if (!WinUsb_Initialize(record->file, &record->usb)) {
        error = GetLastError();
        CloseHandle(record->file);
        return 0;
    }
    return reinterpret_cast<Handle>(record.release());
}

void WindowsWinUsbCalls::CloseDevice(Handle device) {
    std::unique_ptr<OpenDeviceRecord> record(AsDevice(device));
    if (!record)
        return;
    WinUsb_Free(record->usb);
    CloseHandle(record->file);
}

bool WindowsWinUsbCalls::SetAlternateSetting(Handle device, std::uint8_t alternateSetting, std::uint32_t& error) {
    if (WinUsb_SetCurrentAlternateSetting(AsDevice(device)->usb, alternateSetting))
        return true;
    error = GetLastError();
    return false;
}

bool WindowsWinUsbCalls::SetControlTimeout(Handle device, std::uint32_t timeoutMs, std::uint32_t& error) {
    ULONG value = timeoutMs;
    if (WinUsb_SetPipePolicy(AsDevice(device)->usb, 0, PIPE_TRANSFER_TIMEOUT, sizeof value, &value))
        return true;
    error = GetLastError();
    return false;
}

bool WindowsWinUsbCalls::ControlTransfer(Handle device, const SetupPacket& setup, std::span<std::uint8_t> data,
                                         std::uint32_t& transferred, std::uint32_t& error) {
    WINUSB_SETUP_PACKET packet{};
    packet.RequestType = setup.requestType;
    packet.Request = setup.request;
    packet.Value = setup.value;
    packet.Index = setup.index;
    packet.Length = setup.length;
    ULONG moved = 0;
    if (WinUsb_ControlTransfer(AsDevice(device)->usb, packet, data.empty() ? nullptr : data.data(),
                               static_cast<ULONG>(data.size()), &moved, nullptr)) {
        transferred = moved;
        return true;
    }
    error = GetLastError();
    return false;
}

bool WindowsWinUsbCalls::GetDescriptor(Handle device, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                                       std::span<std::uint8_t> buffer, std::uint32_t& transferred,
                                       std::uint32_t& error) {
    ULONG moved = 0;
    if (WinUsb_GetDescriptor(AsDevice(device)->usb, type, index, language, buffer.data(),
                             static_cast<ULONG>(buffer.size()), &moved)) {
        transferred = moved;
        return true;
    }
    error = GetLastError();
    return false;
}

bool WindowsWinUsbCalls::RegisterInterfaceNotices(std::function<void()> notice) {
    static const NotificationEntryPoints entry = LoadNotificationEntryPoints();
    if (entry.registerNotification == nullptr)
        return false;
    UnregisterInterfaceNotices();
    auto notices = std::make_unique<Notices>();
    notices->notice = std::move(notice);
    notices->unregister = entry.unregisterNotification;
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = kDfuInterfaceGuid;
    if (entry.registerNotification(&filter, &notices->notice, &OnInterfaceNotice, &notices->registration) !=
        CR_SUCCESS)
        return false;
    notices_ = std::move(notices);
    return true;
}

void WindowsWinUsbCalls::UnregisterInterfaceNotices() {
    // Waits for a notice under way to finish, so the callback never outlives
    // what it calls.
    if (notices_)
        notices_->unregister(notices_->registration);
    notices_.reset();
}

WinUsbCalls& SystemWinUsbCalls() {
    static WindowsWinUsbCalls calls;
    return calls;
}

#include "device/usb/winusb_backend.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace {

constexpr std::size_t kConfigHeaderSize = 9;

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class WinUsbDeviceHandle : public UsbDeviceHandle {
public:
    WinUsbDeviceHandle(WinUsbCalls& calls, WinUsbCalls::Handle device) : calls_(calls), device_(device) {}
    ~WinUsbDeviceHandle() override { calls_.CloseDevice(device_); }
    WinUsbDeviceHandle(const WinUsbDeviceHandle&) = delete;
    WinUsbDeviceHandle& operator=(const WinUsbDeviceHandle&) = delete;

    // WinUSB holds the interface from the moment it is opened until it is
    // closed: there is nothing more to claim or release.
    UsbStatus ClaimInterface(std::uint8_t) override { return UsbStatus::Ok; }
    UsbStatus ReleaseInterface(std::uint8_t) override { return UsbStatus::Ok; }

    UsbStatus SetAlternateSetting(std::uint8_t, std::uint8_t alternateSetting) override {
        std::uint32_t error = 0;
        return calls_.SetAlternateSetting(device_, alternateSetting, error) ? UsbStatus::Ok
                                                                            : UsbStatusFromWindowsError(error);
    }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data, unsigned timeoutMs,
                              std::size_t& transferred) override {
        transferred = 0;
        if (const UsbStatus status = UseTimeout(timeoutMs); status != UsbStatus::Ok)
            return status;
        WinUsbCalls::SetupPacket packet;
        packet.requestType = setup.bmRequestType;
        packet.request = setup.bRequest;
        packet.value = setup.wValue;
        packet.index = setup.wIndex;
        // Never let wLength reach past the caller's buffer.
        packet.length = static_cast<std::uint16_t>(std::min<std::size_t>(setup.wLength, data.size()));
        std::uint32_t moved = 0;
        std::uint32_t error = 0;
        if (!calls_.ControlTransfer(device_, packet, data.first(packet.length), moved, error))
            return UsbStatusFromWindowsError(error);
        transferred = std::min<std::size_t>(moved, packet.length);
        return UsbStatus::Ok;
    }

    UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned timeoutMs) override {
        text.clear();
        if (index == 0)
            return UsbStatus::NotFound;
        if (const UsbStatus status = UseTimeout(timeoutMs); status != UsbStatus::Ok)
            return status;
        std::array<std::uint8_t, 255> buffer{};
        std::size_t got = 0;
        // The first language the device offers; US English when it lists none.
        std::uint16_t language = UsbDescriptor::LanguageUsEnglish;
        if (const UsbStatus status = Descriptor(UsbDescriptor::StringType, 0, 0, buffer, got); status != UsbStatus::Ok)
            return status;
        if (got >= 4 && buffer[1] == UsbDescriptor::StringType)
            language = static_cast<std::uint16_t>(buffer[2] | (buffer[3] << 8));
        if (const UsbStatus status = Descriptor(UsbDescriptor::StringType, index, language, buffer, got);
            status != UsbStatus::Ok)
            return status;
        return DecodeStringDescriptor(std::span(buffer).first(got), text) ? UsbStatus::Ok : UsbStatus::Error;
    }

    // WinUSB answers for the active configuration whatever index it is given.
    UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) override {
        descriptor.clear();
        if (const UsbStatus status = UseTimeout(UsbDescriptor::TimeoutMs); status != UsbStatus::Ok)
            return status;
        std::array<std::uint8_t, kConfigHeaderSize> header{};
        std::size_t got = 0;
        if (const UsbStatus status = Descriptor(UsbDescriptor::ConfigurationType, 0, 0, header, got);
            status != UsbStatus::Ok)
            return status;
        if (got < header.size() || header[1] != UsbDescriptor::ConfigurationType)
            return UsbStatus::Error;
        const std::size_t total = header[2] | (header[3] << 8);
        if (total < header.size())
            return UsbStatus::Error;
        descriptor.resize(total);
        if (const UsbStatus status = Descriptor(UsbDescriptor::ConfigurationType, 0, 0, descriptor, got);
            status != UsbStatus::Ok) {
            descriptor.clear();
            return status;
        }
        descriptor.resize(got);
        return UsbStatus::Ok;
    }

private:
    UsbStatus Descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language,
                         std::span<std::uint8_t> buffer, std::size_t& got) {
        std::uint32_t moved = 0;
        std::uint32_t error = 0;
        got = 0;
        if (!calls_.GetDescriptor(device_, type, index, language, buffer, moved, error))
            return UsbStatusFromWindowsError(error);
        got = std::min<std::size_t>(moved, buffer.size());
        return UsbStatus::Ok;
    }

    // The default pipe's time-out is a setting of the handle: set it only when
    // it changes.
    UsbStatus UseTimeout(unsigned timeoutMs) {
        const unsigned wanted = timeoutMs == 0 ? WinUsbBackend::kDefaultTransferTimeoutMs : timeoutMs;
        if (wanted == timeoutMs_)
            return UsbStatus::Ok;
        std::uint32_t error = 0;
        if (!calls_.SetControlTimeout(device_, wanted, error))
            return UsbStatusFromWindowsError(error);
        timeoutMs_ = wanted;
        return UsbStatus::Ok;
    }

    WinUsbCalls& calls_;
    WinUsbCalls::Handle device_;
    unsigned timeoutMs_ = 0;
};

}  // namespace

UsbStatus UsbStatusFromWindowsError(std::uint32_t error) {
    switch (error) {
    case 0:
        return UsbStatus::Ok;
    case WinUsbCalls::kGenFailure:
        return UsbStatus::Stall;
    case WinUsbCalls::kSemTimeout:
    case 1460:  // ERROR_TIMEOUT
        return UsbStatus::Timeout;
    case 22:    // ERROR_BAD_COMMAND: the device went away under an open handle
    case 55:    // ERROR_DEV_NOT_EXIST
    case 433:   // ERROR_NO_SUCH_DEVICE
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
        return UsbStatus::NoDevice;
    case WinUsbCalls::kAccessDenied:
    case 32:  // ERROR_SHARING_VIOLATION: another program has it open
        return UsbStatus::AccessDenied;
    case WinUsbCalls::kFileNotFound:
    case 3:  // ERROR_PATH_NOT_FOUND
        return UsbStatus::NotFound;
    default:
        return UsbStatus::Error;
    }
}

std::uint8_t InterfaceNumberFromPath(const std::string& path) {
    const std::string upper = UpperCase(path);
    const auto at = upper.find("&MI_");
    if (at == std::string::npos || at + 6 > upper.size())
        return 0;
    unsigned number = 0;
    for (std::size_t i = at + 4; i < at + 6; ++i) {
        const char c = upper[i];
        if (c >= '0' && c <= '9')
            number = number * 16 + static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            number = number * 16 + static_cast<unsigned>(c - 'A' + 10);
        else
            return 0;
    }
    return static_cast<std::uint8_t>(number);
}

bool DecodeStringDescriptor(std::span<const std::uint8_t> bytes, std::string& text) {
    text.clear();
    if (bytes.size() < 2 || bytes[1] != UsbDescriptor::StringType)
        return false;
    // bLength may claim more than arrived; trust only what both agree on.
    const std::size_t length = std::min<std::size_t>(bytes[0], bytes.size());
    for (std::size_t i = 2; i + 1 < length; i += 2) {
        const unsigned unit = bytes[i] | (bytes[i + 1] << 8);
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return true;
}

WinUsbBackend::WinUsbBackend(WinUsbCalls& calls) : calls_(calls) {}

WinUsbBackend::~WinUsbBackend() {
    bool watching = false;
    {
        std::lock_guard lock(mutex_);
        watching = watching_;
    }
    // After this no notice can arrive, so none can touch a backend that is gone.
    if (watching)
        calls_.UnregisterInterfaceNotices();
}

std::vector<DfuInterfaceInfo> WinUsbBackend::EnumerateDfuInterfaces() {
    std::vector<DfuInterfaceInfo> found;
    std::uint32_t error = 0;
    const WinUsbCalls::Handle set = calls_.OpenInterfaceSet(error);
    if (set == 0) {
        std::lock_guard lock(mutex_);
        lastEnumerationError_ = error;
        return found;
    }
    std::uint32_t stoppedBy = 0;
    for (std::uint32_t index = 0;; ++index) {
        if (!calls_.EnumerateInterface(set, index, error)) {
            stoppedBy = error == WinUsbCalls::kNoMoreItems ? 0 : error;
            break;
        }
        const std::optional<std::string> path = calls_.InterfacePath(set, index, error);
        if (!path)
            continue;  // gone between the two calls, or no record: nothing to open
        DfuInterfaceInfo info;
        info.path = UpperCase(*path);
        info.interfaceNumber = InterfaceNumberFromPath(info.path);
        info.description = calls_.DeviceDescription(set, index, error);
        info.descriptionStatus = info.description ? UsbStatus::Ok : UsbStatusFromWindowsError(error);
        if (!info.description && info.descriptionStatus == UsbStatus::Ok)
            info.descriptionStatus = UsbStatus::Error;
        found.push_back(std::move(info));
    }
    calls_.CloseInterfaceSet(set);
    std::lock_guard lock(mutex_);
    lastEnumerationError_ = stoppedBy;
    return found;
}

std::unique_ptr<UsbDeviceHandle> WinUsbBackend::Open(const std::string& path, UsbStatus& status) {
    std::uint32_t error = 0;
    const WinUsbCalls::Handle device = calls_.OpenDevice(path, error);
    if (device == 0) {
        status = UsbStatusFromWindowsError(error);
        if (status == UsbStatus::Ok)
            status = UsbStatus::Error;
        return nullptr;
    }
    status = UsbStatus::Ok;
    return std::make_unique<WinUsbDeviceHandle>(calls_, device);
}

bool WinUsbBackend::WatchDeviceChanges() {
    std::lock_guard lock(mutex_);
    if (watching_)
        return true;
    watching_ = calls_.RegisterInterfaceNotices([this] {
        {
            std::lock_guard noticeLock(mutex_);
            deviceChanged_ = true;
        }
        changed_.notify_all();
    });
    return watching_;
}

bool WinUsbBackend::WaitForDeviceChange(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!watching_)
        return false;
    changed_.wait_for(lock, timeout, [this] { return deviceChanged_ || woken_; });
    woken_ = false;
    return std::exchange(deviceChanged_, false);
}

void WinUsbBackend::WakeDeviceChangeWait() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

std::uint32_t WinUsbBackend::LastEnumerationError() const {
    std::lock_guard lock(mutex_);
    return lastEnumerationError_;
}

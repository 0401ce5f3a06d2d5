#include "device/usb/libusb_backend.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <utility>

// Owns one libusb context, started on first use: every device object is built
// with the product's backend unless told otherwise, and one that only ever
// talks to the virtual bus must not start libusb.
class LibusbContext {
public:
    LibusbContext() = default;
    ~LibusbContext() {
        if (context_ != nullptr) {
            libusb_exit(context_);
        }
    }
    LibusbContext(const LibusbContext&) = delete;
    LibusbContext& operator=(const LibusbContext&) = delete;

    libusb_context* get() const {
        std::call_once(started_, [this] {
            if (libusb_init(&context_) != LIBUSB_SUCCESS) {
                context_ = nullptr;
            }
        });
        return context_;
    }

private:
    mutable std::once_flag started_;
    mutable libusb_context* context_ = nullptr;
};


namespace {

// libusb treats 0 as "wait for ever"; a device that never answers must not
// hang the caller, so 0 gets this bound instead.
constexpr unsigned kDefaultTransferTimeoutMs = 5000;

// The device list of one enumeration, freed (and the devices unreferenced) on
// every path out.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context) {
        const ssize_t count = libusb_get_device_list(context, &list_);
        count_ = count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    ~DeviceList() {
        if (list_ != nullptr) {
            libusb_free_device_list(list_, 1);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    std::span<libusb_device*> devices() const { return {list_, count_}; }

private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
};

unsigned TimeoutOrDefault(unsigned timeoutMs) {
    return timeoutMs == 0 ? kDefaultTransferTimeoutMs : timeoutMs;
}

bool IsDfuModeInterface(const libusb_interface_descriptor& alt) {
    return alt.bInterfaceClass == DfuModeInterface::Class && alt.bInterfaceSubClass == DfuModeInterface::SubClass &&
           alt.bInterfaceProtocol == DfuModeInterface::Protocol;
}

// Interface numbers of the device's DFU-mode interfaces, each once, in the
// order its configurations and alternate settings list them.
std::vector<std::uint8_t> DfuInterfaceNumbers(libusb_device* device, std::uint8_t configurationCount) {
    std::vector<std::uint8_t> numbers;
    for (std::uint8_t index = 0; index < configurationCount; ++index) {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(device, index, &config) != LIBUSB_SUCCESS) {
            continue;
        }
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& interface = config->interface[i];
            for (int a = 0; a < interface.num_altsetting; ++a) {
                const libusb_interface_descriptor& alt = interface.altsetting[a];
                if (IsDfuModeInterface(alt) &&
                    std::find(numbers.begin(), numbers.end(), alt.bInterfaceNumber) == numbers.end()) {
                    numbers.push_back(alt.bInterfaceNumber);
                }
            }
        }
        libusb_free_config_descriptor(config);
    }
    return numbers;
}

std::vector<unsigned> PortNumbers(libusb_device* device) {
    std::array<std::uint8_t, 8> ports{};
    const int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    std::vector<unsigned> portList;
    for (int i = 0; i < depth; ++i) {
        portList.push_back(ports[static_cast<std::size_t>(i)]);
    }
    return portList;
}

std::string DevicePath(libusb_device* device, const libusb_device_descriptor& descriptor) {
    return FormatUsbDevicePath(descriptor.idVendor, descriptor.idProduct, libusb_get_bus_number(device),
                               PortNumbers(device));
}

// libusb lists devices in no documented order (newest first, as it happens).
// Discovery keeps the last DFU device it meets, so the order must not depend
// on plugging history: devices come by bus, then by port, like the tree a
// user sees.
std::vector<libusb_device*> InTopologicalOrder(std::span<libusb_device*> devices) {
    std::vector<std::pair<std::vector<unsigned>, libusb_device*>> keyed;
    for (libusb_device* device : devices) {
        std::vector<unsigned> key{libusb_get_bus_number(device)};
        const std::vector<unsigned> ports = PortNumbers(device);
        key.insert(key.end(), ports.begin(), ports.end());
        keyed.emplace_back(std::move(key), device);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<libusb_device*> ordered;
    for (auto& entry : keyed) {
        ordered.push_back(entry.second);
    }
    return ordered;
}

// A standard GET_DESCRIPTOR request with our own timeout (libusb's helpers
// wait a full second, too long for discovery on the UI thread).
int GetDescriptor(libusb_device_handle* handle, std::uint8_t type, std::uint8_t index, std::uint16_t language,
                  std::span<std::uint8_t> buffer, unsigned timeoutMs) {
    constexpr std::uint8_t kStandardDeviceIn = 0x80;
    return libusb_control_transfer(handle, kStandardDeviceIn,
                                   LIBUSB_REQUEST_GET_DESCRIPTOR, static_cast<std::uint16_t>((type << 8) | index),
                                   language, buffer.data(), static_cast<std::uint16_t>(buffer.size()),
                                   TimeoutOrDefault(timeoutMs));
}

UsbStatus ReadStringDescriptor(libusb_device_handle* handle, std::uint8_t index, std::string& text,
                               unsigned timeoutMs) {
    text.clear();
    if (index == 0) {
        return UsbStatus::NotFound;
    }
    std::array<std::uint8_t, 255> buffer{};
    // The first language the device offers; US English when it lists none.
    std::uint16_t language = UsbDescriptor::LanguageUsEnglish;
    int got = GetDescriptor(handle, LIBUSB_DT_STRING, 0, 0, buffer, timeoutMs);
    if (got < 0) {
        return UsbStatusFromLibusb(got);
    }
    if (got >= 4 && buffer[1] == LIBUSB_DT_STRING) {
        language = static_cast<std::uint16_t>(buffer[2] | (buffer[3] << 8));
    }
    got = GetDescriptor(handle, LIBUSB_DT_STRING, index, language, buffer, timeoutMs);
    if (got < 0) {
        return UsbStatusFromLibusb(got);
    }
    if (got < 2 || buffer[1] != LIBUSB_DT_STRING) {
        return UsbStatus::Error;
    }
    // bLength may claim more than arrived; trust only what both agree on.
    const std::size_t length = std::min<std::size_t>(buffer[0], static_cast<std::size_t>(got));
    for (std::size_t i = 2; i + 1 < length; i += 2) {
        const unsigned unit = buffer[i] | (buffer[i + 1] << 8);
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return UsbStatus::Ok;
}

class LibusbDeviceHandle : public UsbDeviceHandle {
public:
    LibusbDeviceHandle(std::shared_ptr<LibusbContext> context, libusb_device_handle* handle)
        : context_(std::move(context)), handle_(handle) {}
    ~LibusbDeviceHandle() override { libusb_close(handle_); }
    LibusbDeviceHandle(const LibusbDeviceHandle&) = delete;
    LibusbDeviceHandle& operator=(const LibusbDeviceHandle&) = delete;

    UsbStatus ClaimInterface(std::uint8_t interfaceNumber) override {
        // A kernel driver bound to a DFU interface would keep us out; libusb
        // detaches it and gives it back when we release the interface.
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        return UsbStatusFromLibusb(libusb_claim_interface(handle_, interfaceNumber));
    }

    UsbStatus ReleaseInterface(std::uint8_t interfaceNumber) override {
        return UsbStatusFromLibusb(libusb_release_interface(handle_, interfaceNumber));
    }

    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override {
        return UsbStatusFromLibusb(libusb_set_interface_alt_setting(handle_, interfaceNumber, alternateSetting));
    }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data, unsigned timeoutMs,
                              std::size_t& transferred) override {
        transferred = 0;
        // Never let wLength reach past the caller's buffer.
        const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(setup.wLength, data.size()));
        const int result = libusb_control_transfer(handle_, setup.bmRequestType, setup.bRequest, setup.wValue,
                                                   setup.wIndex, data.data(), length, TimeoutOrDefault(timeoutMs));
        if (result < 0) {
            return UsbStatusFromLibusb(result);
        }
        transferred = static_cast<std::size_t>(result);
        return UsbStatus::Ok;
    }

    UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned timeoutMs) override {
        return ReadStringDescriptor(handle_, index, text, timeoutMs);
    }

    UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) override {
        descriptor.clear();
        const std::uint8_t index = ActiveConfigurationIndex();
        std::array<std::uint8_t, LIBUSB_DT_CONFIG_SIZE> header{};
        int got = GetDescriptor(handle_, LIBUSB_DT_CONFIG, index, 0, header, UsbDescriptor::TimeoutMs);
        if (got < 0) {
            return UsbStatusFromLibusb(got);
        }
        if (got < static_cast<int>(header.size()) || header[1] != LIBUSB_DT_CONFIG) {
            return UsbStatus::Error;
        }
        const std::size_t total = header[2] | (header[3] << 8);
        if (total < header.size()) {
            return UsbStatus::Error;
        }
        descriptor.resize(total);
        got = GetDescriptor(handle_, LIBUSB_DT_CONFIG, index, 0, descriptor, UsbDescriptor::TimeoutMs);
        if (got < 0) {
            descriptor.clear();
            return UsbStatusFromLibusb(got);
        }
        descriptor.resize(static_cast<std::size_t>(got));
        return UsbStatus::Ok;
    }

    std::uint8_t DeviceAddress() const override { return libusb_get_device_address(libusb_get_device(handle_)); }

private:
    // GET_DESCRIPTOR takes the configuration's index, the device reports the
    // active one by its value.
    std::uint8_t ActiveConfigurationIndex() const {
        libusb_device* device = libusb_get_device(handle_);
        int value = 0;
        libusb_device_descriptor descriptor{};
        if (libusb_get_configuration(handle_, &value) != LIBUSB_SUCCESS ||
            libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
            return 0;
        }
        for (std::uint8_t index = 0; index < descriptor.bNumConfigurations; ++index) {
            libusb_config_descriptor* config = nullptr;
            if (libusb_get_config_descriptor(device, index, &config) != LIBUSB_SUCCESS) {
                continue;
            }
            const bool active = config->bConfigurationValue == value;
            libusb_free_config_descriptor(config);
            if (active) {
                return index;
            }
        }
        return 0;
    }

    std::shared_ptr<LibusbContext> context_;
    libusb_device_handle* handle_;
};

// The product string, or why it could not be read. The device is open only
// for as long as the two string requests take.
UsbStatus ReadDescription(libusb_device* device, std::uint8_t productIndex, std::string& description) {
    libusb_device_handle* handle = nullptr;
    const int opened = libusb_open(device, &handle);
    if (opened != LIBUSB_SUCCESS) {
        return UsbStatusFromLibusb(opened);
    }
    const UsbStatus status =
        ReadStringDescriptor(handle, productIndex, description, LibusbBackend::kDescriptionTimeoutMs);
    libusb_close(handle);
    return status;
}

}  // namespace

UsbStatus UsbStatusFromLibusb(int libusbError) {
    switch (libusbError) {
    case LIBUSB_SUCCESS:
        return UsbStatus::Ok;
    case LIBUSB_ERROR_PIPE:
        return UsbStatus::Stall;
    case LIBUSB_ERROR_TIMEOUT:
        return UsbStatus::Timeout;
    case LIBUSB_ERROR_NO_DEVICE:
        return UsbStatus::NoDevice;
    case LIBUSB_ERROR_ACCESS:
        return UsbStatus::AccessDenied;
    case LIBUSB_ERROR_NOT_FOUND:
        return UsbStatus::NotFound;
    default:
        return UsbStatus::Error;
    }
}

std::string FormatUsbDevicePath(unsigned vendorId, unsigned productId, unsigned bus,
                                const std::vector<unsigned>& ports) {
    std::array<char, 64> head{};
    std::snprintf(head.data(), head.size(), "USB\\VID_%04X&PID_%04X\\BUS_%03u&PORT_", vendorId & 0xFFFFu,
                  productId & 0xFFFFu, bus & 0xFFu);
    std::string path = head.data();
    if (ports.empty()) {
        path += '0';
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i != 0) {
            path += '.';
        }
        path += std::to_string(ports[i]);
    }
    return path;
}

// Set from libusb's event handling, on whichever thread handles events (the
// watcher's, or one waiting for a transfer), and taken by the watcher.
struct LibusbBackend::Hotplug {
    libusb_context* context = nullptr;
    libusb_hotplug_callback_handle handle = 0;
    std::atomic<bool> changed{false};

    ~Hotplug() { libusb_hotplug_deregister_callback(context, handle); }

    static int LIBUSB_CALL Noticed(libusb_context*, libusb_device*, libusb_hotplug_event, void* self) {
        static_cast<Hotplug*>(self)->changed = true;
        return 0;  // stay registered
    }
};

LibusbBackend::LibusbBackend() : context_(std::make_shared<LibusbContext>()) {}

LibusbBackend::~LibusbBackend() = default;

bool LibusbBackend::WatchDeviceChanges() {
    std::lock_guard lock(hotplugMutex_);
    if (hotplug_)
        return true;
    libusb_context* context = context_->get();
    if (context == nullptr || libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0)
        return false;
    auto hotplug = std::make_unique<Hotplug>();
    hotplug->context = context;
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    if (libusb_hotplug_register_callback(context, static_cast<libusb_hotplug_event>(events),
                                         static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY,
                                         LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, &Hotplug::Noticed,
                                         hotplug.get(), &hotplug->handle) != LIBUSB_SUCCESS)
        return false;
    hotplug_ = std::move(hotplug);
    return true;
}

bool LibusbBackend::WaitForDeviceChange(std::chrono::milliseconds timeout) {
    Hotplug* hotplug = nullptr;
    {
        std::lock_guard lock(hotplugMutex_);
        hotplug = hotplug_.get();
    }
    if (hotplug == nullptr)
        return false;
    if (!hotplug->changed.exchange(false)) {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
        timeval wait{static_cast<time_t>(micros / 1'000'000), static_cast<suseconds_t>(micros % 1'000'000)};
        libusb_handle_events_timeout_completed(hotplug->context, &wait, nullptr);
        return hotplug->changed.exchange(false);
    }
    return true;
}

void LibusbBackend::WakeDeviceChangeWait() {
    std::lock_guard lock(hotplugMutex_);
    if (hotplug_)
        libusb_interrupt_event_handler(hotplug_->context);
}

bool LibusbBackend::IsAvailable() const { return context_->get() != nullptr; }

std::vector<DfuInterfaceInfo> LibusbBackend::EnumerateDfuInterfaces() {
    std::vector<DfuInterfaceInfo> found;
    if (!IsAvailable()) {
        return found;
    }
    const DeviceList list(context_->get());
    for (libusb_device* device : InTopologicalOrder(list.devices())) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) {
            continue;
        }
        const std::vector<std::uint8_t> interfaces = DfuInterfaceNumbers(device, descriptor.bNumConfigurations);
        if (interfaces.empty()) {
            continue;
        }
        std::string description;
        const UsbStatus status = ReadDescription(device, descriptor.iProduct, description);
        for (const std::uint8_t number : interfaces) {
            DfuInterfaceInfo info;
            info.path = DevicePath(device, descriptor);
            info.interfaceNumber = number;
            info.descriptionStatus = status;
            if (status == UsbStatus::Ok) {
                info.description = description;
            }
            found.push_back(std::move(info));
        }
    }
    return found;
}

std::unique_ptr<UsbDeviceHandle> LibusbBackend::Open(const std::string& path, UsbStatus& status) {
    status = UsbStatus::NotFound;
    if (!IsAvailable()) {
        status = UsbStatus::Error;
        return nullptr;
    }
    std::string wanted = path;
    std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const DeviceList list(context_->get());
    for (libusb_device* device : list.devices()) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
            DevicePath(device, descriptor) != wanted) {
            continue;
        }
        libusb_device_handle* handle = nullptr;
        const int opened = libusb_open(device, &handle);
        status = UsbStatusFromLibusb(opened);
        if (opened != LIBUSB_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<LibusbDeviceHandle>(context_, handle);
    }
    return nullptr;
}

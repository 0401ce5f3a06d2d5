#include "umockdev_usb_bus.h"

#include <dlfcn.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

constexpr std::size_t kSetupSize = 8;
constexpr std::uint8_t kRequestGetDescriptor = 6;
constexpr std::uint8_t kDescriptorDevice = 1;
constexpr std::uint8_t kDescriptorConfiguration = 2;
constexpr std::uint8_t kDescriptorString = 3;
constexpr std::uint8_t kDescriptorInterface = 4;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;

std::string ThreeDigits(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%03u", value & 0xFFu);
    return text;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::vector<std::uint8_t> StringDescriptorBytes(const std::string& text) {
    const std::size_t units = std::min<std::size_t>(text.size(), 126);
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * units), kDescriptorString};
    for (std::size_t i = 0; i < units; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(text[i]));
        bytes.push_back(0);
    }
    return bytes;
}

// Interface numbers the configuration descriptor declares.
std::set<unsigned> InterfaceNumbers(const std::vector<std::uint8_t>& config) {
    std::set<unsigned> numbers;
    for (std::size_t at = 0; at + 2 <= config.size() && config[at] >= 2; at += config[at]) {
        if (config[at + 1] == kDescriptorInterface && at + 2 < config.size()) {
            numbers.insert(config[at + 2]);
        }
    }
    return numbers;
}

int UrbStatusFrom(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok:
        return 0;
    case UsbStatus::Stall:
        return -EPIPE;
    case UsbStatus::NoDevice:
        return -ESHUTDOWN;
    default:
        return -EPROTO;
    }
}

int ErrnoFrom(UsbStatus status) {
    switch (status) {
    case UsbStatus::Stall:
        return EPIPE;
    case UsbStatus::NoDevice:
        return ENODEV;
    case UsbStatus::Timeout:
        return ETIMEDOUT;
    default:
        return EINVAL;
    }
}

// Owned reference to a GObject, released on every path.
template <typename T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* object) : object_(object) {}
    ~GRef() { reset(); }
    GRef(GRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GRef& operator=(GRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void reset() {
        if (object_ != nullptr) {
            g_object_unref(object_);
            object_ = nullptr;
        }
    }

private:
    T* object_ = nullptr;
};

GRef<UMockdevIoctlData> Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (error != nullptr) {
        g_error_free(error);
    }
    return GRef<UMockdevIoctlData>(resolved);
}

}  // namespace

struct UmockdevUsbBus::Testbed {
    UMockdevTestbed* testbed = nullptr;
    std::string root;
    std::mutex mutex;  // the testbed's files and uevents
    std::mutex devicesMutex;
};

// One emulated device: its sysfs entry, its device node with the ioctl
// handler, and a thread that runs the model so that a slow model never
// blocks umockdev's own thread (which must keep answering reaps and discards).
class UmockdevUsbBus::Device {
public:
    Device(UMockdevTestbed* testbed, std::mutex& testbedMutex, const std::string& root,
           std::shared_ptr<VirtualUsbDevice> model, const Placement& placement)
        : testbed_(testbed), testbedMutex_(testbedMutex), model_(std::move(model)), placement_(placement) {
        devnode_ = "/dev/bus/usb/" + ThreeDigits(placement.bus) + "/" + ThreeDigits(placement.address);
        nodeFile_ = root + devnode_;
        config_ = model_->ConfigurationDescriptor();
        interfaces_ = InterfaceNumbers(config_);
        worker_ = std::thread([this] { RunModel(); });
    }

    ~Device() {
        bool attached = false;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            attached = !detached_;
        }
        wake_.notify_all();
        if (attached) {
            model_->OnDetach();  // a model blocked in a transfer lets go
        }
        worker_.join();
        if (handler_) {
            umockdev_testbed_detach_ioctl(testbed_, devnode_.c_str(), nullptr);
        }
        urbs_.clear();  // releases the client memory blocks still held
    }

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void Plug() {
        model_->OnAttach();
        // The handler goes first: libusb may see the device the moment its
        // sysfs entry appears, and open it straight away.
        handler_ = GRef<UMockdevIoctlBase>(umockdev_ioctl_base_new());
        g_signal_connect(handler_.get(), "handle-ioctl", G_CALLBACK(&Device::OnIoctl), this);
        g_signal_connect(handler_.get(), "client-vanished", G_CALLBACK(&Device::OnClientVanished), this);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed_, devnode_.c_str(), handler_.get(), &error)) {
            const std::string message = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            throw std::runtime_error("umockdev: cannot attach the ioctl handler: " + message);
        }
        CreateDeviceNode();
        // All attributes in one go: adding them one by one races libusb's
        // hotplug scan, which may read a half-made device.
        std::lock_guard testbedLock(testbedMutex_);
        if (!umockdev_testbed_add_from_string(testbed_, SysfsRecord().c_str(), &error)) {
            const std::string message = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            throw std::runtime_error("umockdev: cannot add the device: " + message);
        }
    }

    // Pulled out, by the test or by the model itself (a NoDevice answer):
    // transfers in flight end with "no device", later ioctls with ENODEV, the
    // model hears of it and the device leaves sysfs. Any thread.
    void Unplug() {
        {
            std::lock_guard lock(mutex_);
            if (detached_) {
                return;
            }
            detached_ = true;
            for (auto& [id, urb] : urbs_) {
                FinishLocked(*urb, -ESHUTDOWN, 0);
            }
        }
        model_->OnDetach();
        const std::string syspath = "/sys" + SysfsDevicePath();
        std::lock_guard testbedLock(testbedMutex_);
        umockdev_testbed_uevent(testbed_, syspath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, syspath.c_str());
        std::error_code ignored;
        std::filesystem::remove(nodeFile_, ignored);
    }

    bool IsAttached() const {
        std::lock_guard lock(mutex_);
        return !detached_;
    }

    void DenyAccess() const { ::chmod(nodeFile_.c_str(), 0); }

    std::size_t TransferCount() const {
        std::lock_guard lock(mutex_);
        return transferCount_;
    }

private:
    struct Urb {
        UMockdevIoctlClient* client = nullptr;
        std::uint64_t clientAddress = 0;
        GRef<UMockdevIoctlData> urb;
        GRef<UMockdevIoctlData> buffer;
        UsbSetupPacket setup;
        std::vector<std::uint8_t> data;  // OUT: what the host sent; IN: the answer
        bool done = false;
        int status = 0;
        int actualLength = 0;
    };

    std::string SysfsDevicePath() const {
        std::string name = std::to_string(placement_.bus) + "-";
        for (std::size_t i = 0; i < placement_.ports.size(); ++i) {
            name += (i == 0 ? "" : ".") + std::to_string(placement_.ports[i]);
        }
        return "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(placement_.bus) + "/" + name;
    }

    std::string SysfsRecord() const {
        const std::vector<std::uint8_t> device = model_->DeviceDescriptor();
        std::vector<std::uint8_t> descriptors = device;
        descriptors.insert(descriptors.end(), config_.begin(), config_.end());
        char ids[64] = "";
        if (device.size() >= 12) {
            std::snprintf(ids, sizeof ids, "%02x%02x/%02x%02x", device[9], device[8], device[11], device[10]);
        }
        const std::string vendor(ids, std::min<std::size_t>(4, std::strlen(ids)));
        const std::string product = std::strlen(ids) >= 9 ? std::string(ids + 5, 4) : "0000";
        const std::string busText = ThreeDigits(placement_.bus);
        const std::string addressText = ThreeDigits(placement_.address);
        std::string record;
        record += "P: " + SysfsDevicePath() + "\n";
        record += "E: SUBSYSTEM=usb\n";
        record += "E: DEVTYPE=usb_device\n";
        record += "E: DEVNAME=" + devnode_ + "\n";
        record += "E: BUSNUM=" + busText + "\n";
        record += "E: DEVNUM=" + addressText + "\n";
        record += "E: MAJOR=189\n";
        record += "E: MINOR=" + std::to_string((placement_.bus - 1) * 128 + placement_.address - 1) + "\n";
        record += "A: busnum=" + std::to_string(placement_.bus) + "\n";
        record += "A: devnum=" + std::to_string(placement_.address) + "\n";
        record += "A: idVendor=" + vendor + "\n";
        record += "A: idProduct=" + product + "\n";
        record += "A: speed=480\n";
        record += "A: bConfigurationValue=" + std::to_string(config_.size() > 5 ? config_[5] : 1) + "\n";
        record += "A: bNumConfigurations=1\n";
        record += "H: descriptors=" + Hex(descriptors) + "\n";
        return record;
    }

    void CreateDeviceNode() const {
        std::filesystem::create_directories(std::filesystem::path(nodeFile_).parent_path());
        { std::ofstream node(nodeFile_); }
        ::chmod(nodeFile_.c_str(), placement_.accessDenied ? 0 : 0666);
    }

    // ---- umockdev's thread ------------------------------------------------

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        static_cast<Device*>(self)->HandleIoctl(client);
        return TRUE;
    }

    static void OnClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        static_cast<Device*>(self)->ForgetClient(client);
    }

    void HandleIoctl(UMockdevIoctlClient* client) {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (IsGone() && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_DISCARDURB) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES:
            return Complete(client, WriteU32(arg, USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                                      USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                                      USBDEVFS_CAP_REAP_AFTER_DISCONNECT));
        case USBDEVFS_GETDRIVER:
            // No kernel driver is bound to the emulated device.
            return Complete(client, ENODATA);
        case USBDEVFS_CLAIMINTERFACE:
            return Complete(client, Claim(client, ReadU32(arg, 0)));
        case USBDEVFS_DISCONNECT_CLAIM:
            return Complete(client, Claim(client, ReadU32(arg, 0)));
        case USBDEVFS_RELEASEINTERFACE:
            return Complete(client, Release(client, ReadU32(arg, 0)));
        case USBDEVFS_SETINTERFACE:
            return Complete(client, SetInterface(client, arg));
        case USBDEVFS_RESET:
            return Complete(client, 0);
        case USBDEVFS_SUBMITURB:
            return Complete(client, Submit(client, arg));
        case USBDEVFS_REAPURBNDELAY:
            return Reap(client, arg);
        case USBDEVFS_DISCARDURB:
            return Complete(client, Discard(client, arg));
        default:
            return Complete(client, ENOTTY);
        }
    }

    static void Complete(UMockdevIoctlClient* client, int error) {
        umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
    }

    // A u32 the argument points to; `fallback` when it cannot be read.
    static std::uint32_t ReadU32(UMockdevIoctlData* arg, std::uint32_t fallback) {
        const GRef<UMockdevIoctlData> value = Resolve(arg, 0, sizeof(std::uint32_t));
        if (!value) {
            return fallback;
        }
        std::uint32_t number = 0;
        std::memcpy(&number, value.get()->data, sizeof number);
        return number;
    }

    static int WriteU32(UMockdevIoctlData* arg, std::uint32_t number) {
        const GRef<UMockdevIoctlData> value = Resolve(arg, 0, sizeof(std::uint32_t));
        if (!value) {
            return EFAULT;
        }
        std::memcpy(value.get()->data, &number, sizeof number);
        return 0;
    }

    bool IsGone() const {
        std::lock_guard lock(mutex_);
        return detached_;
    }

    int Claim(UMockdevIoctlClient* client, std::uint32_t interface) {
        std::lock_guard lock(mutex_);
        if (interfaces_.count(interface) == 0) {
            return EINVAL;
        }
        const auto owner = claims_.find(interface);
        if (owner != claims_.end() && owner->second != client) {
            return EBUSY;
        }
        claims_[interface] = client;
        return 0;
    }

    int Release(UMockdevIoctlClient* client, std::uint32_t interface) {
        std::lock_guard lock(mutex_);
        const auto owner = claims_.find(interface);
        if (owner == claims_.end() || owner->second != client) {
            return EINVAL;
        }
        claims_.erase(owner);
        return 0;
    }

    int SetInterface(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        const GRef<UMockdevIoctlData> value = Resolve(arg, 0, sizeof(usbdevfs_setinterface));
        if (!value) {
            return EFAULT;
        }
        usbdevfs_setinterface setting{};
        std::memcpy(&setting, value.get()->data, sizeof setting);
        {
            // The kernel claims the interface on the caller's behalf.
            const int claimed = Claim(client, setting.interface);
            if (claimed != 0) {
                return claimed;
            }
        }
        const UsbStatus status = model_->SetAlternateSetting(static_cast<std::uint8_t>(setting.interface),
                                                             static_cast<std::uint8_t>(setting.altsetting));
        return status == UsbStatus::Ok ? 0 : ErrnoFrom(status);
    }

    int Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        GRef<UMockdevIoctlData> urbData = Resolve(arg, 0, sizeof(usbdevfs_urb));
        if (!urbData) {
            return EFAULT;
        }
        usbdevfs_urb header{};
        std::memcpy(&header, urbData.get()->data, sizeof header);
        if (header.type != USBDEVFS_URB_TYPE_CONTROL || header.buffer_length < static_cast<int>(kSetupSize)) {
            return EINVAL;
        }
        GRef<UMockdevIoctlData> buffer =
            Resolve(urbData.get(), offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(header.buffer_length));
        if (!buffer) {
            return EFAULT;
        }
        const std::uint8_t* bytes = buffer.get()->data;
        auto urb = std::make_unique<Urb>();
        urb->client = client;
        urb->clientAddress = urbData.get()->client_addr;
        urb->setup.bmRequestType = bytes[0];
        urb->setup.bRequest = bytes[1];
        urb->setup.wValue = static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
        urb->setup.wIndex = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
        urb->setup.wLength = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
        const std::size_t room = static_cast<std::size_t>(header.buffer_length) - kSetupSize;
        if (urb->setup.wLength > room) {
            return EINVAL;
        }
        if ((urb->setup.bmRequestType & 0x80) != 0) {
            urb->data.assign(urb->setup.wLength, 0);
        } else {
            urb->data.assign(bytes + kSetupSize, bytes + kSetupSize + urb->setup.wLength);
        }
        urb->urb = std::move(urbData);
        urb->buffer = std::move(buffer);
        {
            std::lock_guard lock(mutex_);
            const std::uint64_t id = nextUrbId_++;
            urbs_[id] = std::move(urb);
            queue_.push_back(id);
        }
        wake_.notify_all();
        return 0;
    }

    void Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        std::unique_ptr<Urb> urb;
        bool gone = false;
        {
            std::lock_guard lock(mutex_);
            gone = detached_;
            for (auto at = completed_.begin(); at != completed_.end(); ++at) {
                auto found = urbs_.find(*at);
                if (found != urbs_.end() && found->second->client == client) {
                    urb = std::move(found->second);
                    urbs_.erase(found);
                    completed_.erase(at);
                    break;
                }
            }
        }
        if (!urb) {
            return Complete(client, gone ? ENODEV : EAGAIN);
        }
        auto* header = reinterpret_cast<usbdevfs_urb*>(urb->urb.get()->data);
        header->status = urb->status;
        header->actual_length = urb->actualLength;
        if ((urb->setup.bmRequestType & 0x80) != 0 && urb->actualLength > 0) {
            std::memcpy(urb->buffer.get()->data + kSetupSize, urb->data.data(),
                        static_cast<std::size_t>(urb->actualLength));
        }
        const GRef<UMockdevIoctlData> slot = Resolve(arg, 0, sizeof(void*));
        if (!slot || !umockdev_ioctl_data_set_ptr(slot.get(), 0, urb->urb.get())) {
            return Complete(client, EFAULT);
        }
        Complete(client, 0);
    }

    int Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        std::uint64_t address = 0;
        std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, static_cast<std::size_t>(arg->data_len)));
        std::lock_guard lock(mutex_);
        for (auto& [id, urb] : urbs_) {
            if (urb->client == client && urb->clientAddress == address && !urb->done) {
                FinishLocked(*urb, -ENOENT, 0);
                return 0;
            }
        }
        return EINVAL;
    }

    void ForgetClient(UMockdevIoctlClient* client) {
        std::lock_guard lock(mutex_);
        std::erase_if(claims_, [client](const auto& claim) { return claim.second == client; });
        std::erase_if(urbs_, [client](const auto& entry) { return entry.second->client == client; });
    }

    void FinishLocked(Urb& urb, int status, int actualLength) {
        if (urb.done) {
            return;
        }
        urb.done = true;
        urb.status = status;
        urb.actualLength = actualLength;
        for (auto& [id, candidate] : urbs_) {
            if (candidate.get() == &urb) {
                completed_.push_back(id);
            }
        }
    }

    // ---- the model's thread -----------------------------------------------

    void RunModel() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            const std::uint64_t id = queue_.front();
            queue_.pop_front();
            auto found = urbs_.find(id);
            if (found == urbs_.end() || found->second->done) {
                continue;
            }
            const UsbSetupPacket setup = found->second->setup;
            std::vector<std::uint8_t> data = found->second->data;
            ++transferCount_;
            lock.unlock();
            std::size_t transferred = 0;
            const UsbStatus status = Execute(setup, data, transferred);
            if (status == UsbStatus::NoDevice) {
                // The model has left the bus in the middle of this transfer.
                Unplug();
            }
            lock.lock();
            found = urbs_.find(id);
            if (found == urbs_.end() || found->second->done || status == UsbStatus::Timeout) {
                // Discarded meanwhile, or a device that never answers: the
                // host's own timeout ends the transfer.
                continue;
            }
            Urb& urb = *found->second;
            urb.data = std::move(data);
            FinishLocked(urb, UrbStatusFrom(status),
                         status == UsbStatus::Ok ? static_cast<int>(std::min(transferred, urb.data.size())) : 0);
        }
    }

    // Standard GET_DESCRIPTOR requests are answered from the model's
    // descriptors; everything else is the model's business.
    UsbStatus Execute(const UsbSetupPacket& setup, std::vector<std::uint8_t>& data, std::size_t& transferred) {
        if (setup.bmRequestType == 0x80 && setup.bRequest == kRequestGetDescriptor) {
            return GetDescriptor(setup, data, transferred);
        }
        return model_->ControlTransfer(setup, data, transferred);
    }

    UsbStatus GetDescriptor(const UsbSetupPacket& setup, std::vector<std::uint8_t>& data,
                            std::size_t& transferred) const {
        const auto type = static_cast<std::uint8_t>(setup.wValue >> 8);
        const auto index = static_cast<std::uint8_t>(setup.wValue & 0xFF);
        std::vector<std::uint8_t> descriptor;
        if (type == kDescriptorDevice) {
            descriptor = model_->DeviceDescriptor();
        } else if (type == kDescriptorConfiguration && index == 0) {
            descriptor = config_;
        } else if (type == kDescriptorString && index == 0) {
            descriptor = {4, kDescriptorString, kLanguageUsEnglish & 0xFF, kLanguageUsEnglish >> 8};
        } else if (type == kDescriptorString) {
            const std::optional<std::string> text = model_->StringDescriptor(index);
            if (!text) {
                return UsbStatus::Stall;
            }
            descriptor = StringDescriptorBytes(*text);
        } else {
            return UsbStatus::Stall;
        }
        transferred = std::min(descriptor.size(), data.size());
        std::copy_n(descriptor.begin(), transferred, data.begin());
        return UsbStatus::Ok;
    }

    UMockdevTestbed* testbed_;
    std::mutex& testbedMutex_;  // one testbed, changed from several threads
    std::shared_ptr<VirtualUsbDevice> model_;
    Placement placement_;
    std::string devnode_;
    std::string nodeFile_;
    std::vector<std::uint8_t> config_;
    std::set<unsigned> interfaces_;
    GRef<UMockdevIoctlBase> handler_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool detached_ = false;
    std::uint64_t nextUrbId_ = 1;
    std::map<std::uint64_t, std::unique_ptr<Urb>> urbs_;
    std::deque<std::uint64_t> queue_;
    std::deque<std::uint64_t> completed_;
    std::map<unsigned, UMockdevIoctlClient*> claims_;
    std::size_t transferCount_ = 0;
    std::thread worker_;
};

UmockdevUsbBus::UmockdevUsbBus() : testbed_(std::make_unique<Testbed>()) {
    testbed_->testbed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(testbed_->testbed);
    testbed_->root = root;
    g_free(root);
    // libusb looks for usbfs at start-up and gives up when /dev/bus/usb is
    // empty, even if a device is plugged in later.
    std::filesystem::create_directories(testbed_->root + "/dev/bus/usb/001");
}

UmockdevUsbBus::~UmockdevUsbBus() {
    devices_.clear();  // no other thread may use the bus any more
    g_object_unref(testbed_->testbed);
}

bool UmockdevUsbBus::IsEmulationActive() {
    // umockdev_in_mock_environment() only looks for a testbed directory; what
    // matters is whether the preload library redirects /sys and /dev.
    void* preload = ::dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (preload == nullptr) {
        return false;
    }
    ::dlclose(preload);
    return true;
}

int UmockdevUsbBus::Plug(std::shared_ptr<VirtualUsbDevice> device, const Placement& placement) {
    auto added = std::make_unique<Device>(testbed_->testbed, testbed_->mutex, testbed_->root, std::move(device),
                                          placement);
    added->Plug();
    std::lock_guard lock(testbed_->devicesMutex);
    devices_.push_back(std::move(added));
    return static_cast<int>(devices_.size()) - 1;
}

UmockdevUsbBus::Device& UmockdevUsbBus::At(int id) const {
    std::lock_guard lock(testbed_->devicesMutex);
    return *devices_.at(static_cast<std::size_t>(id));
}

void UmockdevUsbBus::Unplug(int id) { At(id).Unplug(); }

bool UmockdevUsbBus::IsAttached(int id) const { return At(id).IsAttached(); }

void UmockdevUsbBus::DenyAccess(int id) { At(id).DenyAccess(); }

std::size_t UmockdevUsbBus::TransferCount(int id) const { return At(id).TransferCount(); }

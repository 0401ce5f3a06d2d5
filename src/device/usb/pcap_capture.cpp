#include "common/file_io.h"
#include "device/usb/pcap_capture.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;  // microsecond timestamps
constexpr std::uint32_t kSnapLength = 0x40000;
constexpr std::uint32_t kLinkTypeUsbLinuxMmapped = 220;
constexpr std::size_t kUsbmonHeaderSize = 64;
constexpr std::size_t kSetupSize = 8;

constexpr std::uint8_t kTransferTypeControl = 2;
constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint32_t kUrbDirIn = 0x0200;  // the kernel's URB_DIR_IN transfer flag

// Linux URB status values, as usbmon writes them whatever system we run on.
constexpr std::int32_t kStatusInProgress = -115;  // -EINPROGRESS, every submission
constexpr std::int32_t kStatusUnlinked = -2;      // -ENOENT: cancelled after the timeout
constexpr std::int32_t kStatusStall = -32;        // -EPIPE
constexpr std::int32_t kStatusShutdown = -108;    // -ESHUTDOWN: device gone
constexpr std::int32_t kStatusProtocol = -71;     // -EPROTO

constexpr std::uint8_t kRequestGetDescriptor = 6;
constexpr std::uint8_t kRequestSetInterface = 11;
constexpr std::uint16_t kStringRequestLength = 255;

std::int32_t UsbmonStatus(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok:
        return 0;
    case UsbStatus::Stall:
        return kStatusStall;
    case UsbStatus::Timeout:
        return kStatusUnlinked;
    case UsbStatus::NoDevice:
        return kStatusShutdown;
    default:
        return kStatusProtocol;
    }
}

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::span<std::uint8_t> out) : out_(out) {}

    void U8(std::size_t at, std::uint8_t value) { out_[at] = value; }
    void U16(std::size_t at, std::uint16_t value) { Put(at, value, 2); }
    void U32(std::size_t at, std::uint32_t value) { Put(at, value, 4); }
    void S32(std::size_t at, std::int32_t value) { Put(at, static_cast<std::uint32_t>(value), 4); }
    void U64(std::size_t at, std::uint64_t value) { Put(at, value, 8); }
    void S64(std::size_t at, std::int64_t value) { Put(at, static_cast<std::uint64_t>(value), 8); }

private:
    void Put(std::size_t at, std::uint64_t value, std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            out_[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    std::span<std::uint8_t> out_;
};

std::array<std::uint8_t, kSetupSize> SetupBytes(const UsbSetupPacket& setup) {
    return {setup.bmRequestType,
            setup.bRequest,
            static_cast<std::uint8_t>(setup.wValue & 0xFF),
            static_cast<std::uint8_t>(setup.wValue >> 8),
            static_cast<std::uint8_t>(setup.wIndex & 0xFF),
            static_cast<std::uint8_t>(setup.wIndex >> 8),
            static_cast<std::uint8_t>(setup.wLength & 0xFF),
            static_cast<std::uint8_t>(setup.wLength >> 8)};
}

// The fields of a usbmon header that submission and completion share.
std::array<std::uint8_t, kUsbmonHeaderSize> UsbmonHeader(std::uint64_t urbId, char type,
                                                         UsbCaptureFile::Device device, bool in,
                                                         std::int64_t timeUs) {
    std::array<std::uint8_t, kUsbmonHeaderSize> header{};
    LittleEndianWriter w(header);
    w.U64(0, urbId);
    w.U8(8, static_cast<std::uint8_t>(type));
    w.U8(9, kTransferTypeControl);
    w.U8(10, in ? kDirectionIn : 0);
    w.U8(11, device.address);
    w.U16(12, device.bus);
    w.S64(16, timeUs / 1000000);
    w.S32(24, static_cast<std::int32_t>(timeUs % 1000000));
    w.U32(56, in ? kUrbDirIn : 0);
    return header;
}

class CapturingDeviceHandle : public UsbDeviceHandle {
public:
    CapturingDeviceHandle(std::unique_ptr<UsbDeviceHandle> inner, std::shared_ptr<UsbCaptureFile> file,
                          UsbCaptureFile::Device device)
        : inner_(std::move(inner)), file_(std::move(file)), device_(device) {}

    UsbStatus ClaimInterface(std::uint8_t interfaceNumber) override { return inner_->ClaimInterface(interfaceNumber); }

    UsbStatus ReleaseInterface(std::uint8_t interfaceNumber) override {
        return inner_->ReleaseInterface(interfaceNumber);
    }

    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override {
        const std::int64_t submitted = UsbCaptureFile::NowUs();
        const UsbStatus status = inner_->SetAlternateSetting(interfaceNumber, alternateSetting);
        file_->RecordControlTransfer(device_, {0x01, kRequestSetInterface, alternateSetting, interfaceNumber, 0}, {},
                                     0, status, submitted, UsbCaptureFile::NowUs());
        return status;
    }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data, unsigned timeoutMs,
                              std::size_t& transferred) override {
        const std::int64_t submitted = UsbCaptureFile::NowUs();
        const UsbStatus status = inner_->ControlTransfer(setup, data, timeoutMs, transferred);
        // What the wire saw: wLength never exceeds the caller's buffer.
        UsbSetupPacket sent = setup;
        sent.wLength = static_cast<std::uint16_t>(std::min<std::size_t>(setup.wLength, data.size()));
        file_->RecordControlTransfer(device_, sent, data, transferred, status, submitted, UsbCaptureFile::NowUs());
        return status;
    }

    UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned timeoutMs) override {
        const std::int64_t submitted = UsbCaptureFile::NowUs();
        const UsbStatus status = inner_->GetStringDescriptor(index, text, timeoutMs);
        std::vector<std::uint8_t> descriptor;
        if (status == UsbStatus::Ok) {
            const std::size_t units = std::min<std::size_t>(text.size(), (kStringRequestLength - 2) / 2);
            descriptor = {static_cast<std::uint8_t>(2 + 2 * units), UsbDescriptor::StringType};
            for (std::size_t i = 0; i < units; ++i) {
                descriptor.push_back(static_cast<std::uint8_t>(text[i]));
                descriptor.push_back(0);
            }
        }
        const UsbSetupPacket setup{0x80, kRequestGetDescriptor,
                                   static_cast<std::uint16_t>((UsbDescriptor::StringType << 8) | index),
                                   UsbDescriptor::LanguageUsEnglish, kStringRequestLength};
        file_->RecordControlTransfer(device_, setup, descriptor, descriptor.size(), status, submitted,
                                     UsbCaptureFile::NowUs());
        return status;
    }

    UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) override {
        const std::int64_t submitted = UsbCaptureFile::NowUs();
        const UsbStatus status = inner_->GetConfigDescriptor(descriptor);
        const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(descriptor.size(), 0xFFFF));
        const UsbSetupPacket setup{0x80, kRequestGetDescriptor, UsbDescriptor::ConfigurationType << 8, 0,
                                   status == UsbStatus::Ok ? length : std::uint16_t{9}};
        file_->RecordControlTransfer(device_, setup, std::span<const std::uint8_t>(descriptor).first(length), length,
                                     status, submitted, UsbCaptureFile::NowUs());
        return status;
    }

    std::uint8_t DeviceAddress() const override { return device_.address; }

private:
    std::unique_ptr<UsbDeviceHandle> inner_;
    std::shared_ptr<UsbCaptureFile> file_;
    UsbCaptureFile::Device device_;
};

}  // namespace

std::shared_ptr<UsbCaptureFile> UsbCaptureFile::Create(const std::string& path, std::string& error) {
    int createError = 0;
    std::FILE* file = CreateFreshFile(path, createError);
    if (file == nullptr) {
        error = "cannot create capture file " + WriteErrorText(path, createError);
        return nullptr;
    }
    std::array<std::uint8_t, 24> header{};
    LittleEndianWriter w(header);
    w.U32(0, kPcapMagic);
    w.U16(4, 2);  // format version 2.4
    w.U16(6, 4);
    w.U32(16, kSnapLength);
    w.U32(20, kLinkTypeUsbLinuxMmapped);
    if (std::fwrite(header.data(), 1, header.size(), file) != header.size() || std::fflush(file) != 0) {
        error = "cannot write capture file " + path + ": " + std::strerror(errno);
        std::fclose(file);
        return nullptr;
    }
    return std::shared_ptr<UsbCaptureFile>(new UsbCaptureFile(file));
}

UsbCaptureFile::~UsbCaptureFile() { std::fclose(file_); }

std::int64_t UsbCaptureFile::NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::size_t UsbCaptureFile::RecordCount() const {
    std::lock_guard lock(mutex_);
    return records_;
}

void UsbCaptureFile::RecordControlTransfer(Device device, const UsbSetupPacket& setup,
                                           std::span<const std::uint8_t> data, std::size_t transferred,
                                           UsbStatus status, std::int64_t submittedUs, std::int64_t completedUs) {
    const bool in = (setup.bmRequestType & kDirectionIn) != 0;
    const std::size_t requested = std::min<std::size_t>(setup.wLength, data.size());
    const std::size_t moved = std::min(transferred, requested);
    const std::span<const std::uint8_t> sent = in ? std::span<const std::uint8_t>{} : data.first(requested);
    const std::span<const std::uint8_t> received =
        in && status == UsbStatus::Ok ? data.first(moved) : std::span<const std::uint8_t>{};

    std::lock_guard lock(mutex_);
    const std::uint64_t urbId = nextUrbId_++;

    auto submission = UsbmonHeader(urbId, 'S', device, in, submittedUs);
    LittleEndianWriter s(submission);
    s.U8(14, 0);  // setup packet present
    s.U8(15, sent.empty() ? static_cast<std::uint8_t>(in ? '<' : 'L') : 0);
    s.S32(28, kStatusInProgress);
    s.U32(32, setup.wLength);
    s.U32(36, static_cast<std::uint32_t>(sent.size()));
    const auto setupBytes = SetupBytes(setup);
    std::copy(setupBytes.begin(), setupBytes.end(), submission.begin() + 40);
    WriteRecord(submission, sent, submittedUs);

    auto completion = UsbmonHeader(urbId, 'C', device, in, completedUs);
    LittleEndianWriter c(completion);
    c.U8(14, '-');  // no setup packet
    c.U8(15, received.empty() ? static_cast<std::uint8_t>(in ? 'L' : '>') : 0);
    c.S32(28, UsbmonStatus(status));
    c.U32(32, static_cast<std::uint32_t>(status == UsbStatus::Ok ? moved : 0));
    c.U32(36, static_cast<std::uint32_t>(received.size()));
    WriteRecord(completion, received, completedUs);
}

void UsbCaptureFile::WriteRecord(std::span<const std::uint8_t> header, std::span<const std::uint8_t> data,
                                 std::int64_t timeUs) {
    std::array<std::uint8_t, 16> record{};
    LittleEndianWriter w(record);
    const auto length = static_cast<std::uint32_t>(header.size() + data.size());
    w.U32(0, static_cast<std::uint32_t>(timeUs / 1000000));
    w.U32(4, static_cast<std::uint32_t>(timeUs % 1000000));
    w.U32(8, length);
    w.U32(12, length);
    std::fwrite(record.data(), 1, record.size(), file_);
    std::fwrite(header.data(), 1, header.size(), file_);
    if (!data.empty()) {
        std::fwrite(data.data(), 1, data.size(), file_);
    }
    // Flushed per record, so a capture stays readable when the program dies
    // mid-transfer, which is when one wants it most.
    std::fflush(file_);
    ++records_;
}

std::uint16_t BusNumberFromPath(const std::string& path) {
    const std::size_t at = path.find("BUS_");
    if (at == std::string::npos) {
        return 1;
    }
    unsigned bus = 0;
    std::size_t digits = 0;
    for (std::size_t i = at + 4; i < path.size() && digits < 3 && path[i] >= '0' && path[i] <= '9'; ++i, ++digits) {
        bus = bus * 10 + static_cast<unsigned>(path[i] - '0');
    }
    return digits == 0 ? std::uint16_t{1} : static_cast<std::uint16_t>(bus);
}

CapturingUsbBackend::CapturingUsbBackend(UsbBackend& inner, std::shared_ptr<UsbCaptureFile> file)
    : inner_(inner), file_(std::move(file)) {}

CapturingUsbBackend::CapturingUsbBackend(std::unique_ptr<UsbBackend> inner, std::shared_ptr<UsbCaptureFile> file)
    : owned_(std::move(inner)), inner_(*owned_), file_(std::move(file)) {}

std::unique_ptr<CapturingUsbBackend> CapturingUsbBackend::Start(UsbBackend& inner, const std::string& pcapPath,
                                                                std::string& error) {
    std::shared_ptr<UsbCaptureFile> file = UsbCaptureFile::Create(pcapPath, error);
    if (!file) {
        return nullptr;
    }
    return std::make_unique<CapturingUsbBackend>(inner, std::move(file));
}

std::vector<DfuInterfaceInfo> CapturingUsbBackend::EnumerateDfuInterfaces() { return inner_.EnumerateDfuInterfaces(); }

std::unique_ptr<UsbDeviceHandle> CapturingUsbBackend::Open(const std::string& path, UsbStatus& status) {
    std::unique_ptr<UsbDeviceHandle> handle = inner_.Open(path, status);
    if (!handle) {
        return nullptr;
    }
    const UsbCaptureFile::Device device = DeviceFor(path, *handle);
    return std::make_unique<CapturingDeviceHandle>(std::move(handle), file_, device);
}

UsbCaptureFile::Device CapturingUsbBackend::DeviceFor(const std::string& path, const UsbDeviceHandle& handle) {
    UsbCaptureFile::Device device;
    device.bus = BusNumberFromPath(path);
    device.address = handle.DeviceAddress();
    if (device.address == 0) {
        // Address 1 is the root hub's; devices count up from 2 as on a real bus.
        std::lock_guard lock(mutex_);
        auto [entry, added] = assignedAddresses_.try_emplace(
            path, static_cast<std::uint8_t>(std::min<std::size_t>(2 + assignedAddresses_.size(), 127)));
        device.address = entry->second;
    }
    return device;
}

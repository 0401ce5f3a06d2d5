#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device/usb/libusb_backend.h"
#include "device/usb/pcap_capture.h"
#include "libusb/tiny_dfu_device.h"
#include "libusb/umockdev_usb_bus.h"

namespace {

constexpr unsigned kTimeoutMs = 1000;

// A backend without a bus: its one device is the model itself. Enough to
// drive the capture decorator without any USB stack.
class DirectHandle : public UsbDeviceHandle {
public:
    explicit DirectHandle(std::shared_ptr<TinyDfuDevice> device) : device_(std::move(device)) {}
    UsbStatus ClaimInterface(std::uint8_t) override { return UsbStatus::Ok; }
    UsbStatus ReleaseInterface(std::uint8_t) override { return UsbStatus::Ok; }
    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override {
        return device_->SetAlternateSetting(interfaceNumber, alternateSetting);
    }
    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data, unsigned,
                              std::size_t& transferred) override {
        return device_->ControlTransfer(setup, data.first(std::min<std::size_t>(data.size(), setup.wLength)),
                                        transferred);
    }
    UsbStatus GetStringDescriptor(std::uint8_t index, std::string& text, unsigned) override {
        const auto found = device_->StringDescriptor(index);
        text = found.value_or("");
        return found ? UsbStatus::Ok : UsbStatus::Stall;
    }
    UsbStatus GetConfigDescriptor(std::vector<std::uint8_t>& descriptor) override {
        descriptor = device_->ConfigurationDescriptor();
        return UsbStatus::Ok;
    }

private:
    std::shared_ptr<TinyDfuDevice> device_;
};

class DirectBackend : public UsbBackend {
public:
    static constexpr const char* kPath = "USB\\VID_1209&PID_7A70\\BUS_003&PORT_1";
    explicit DirectBackend(std::shared_ptr<TinyDfuDevice> device) : device_(std::move(device)) {}
    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override { return {{kPath, "Tiny DFU", 0}}; }
    std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override {
        status = path == kPath ? UsbStatus::Ok : UsbStatus::NotFound;
        return path == kPath ? std::make_unique<DirectHandle>(device_) : nullptr;
    }

private:
    std::shared_ptr<TinyDfuDevice> device_;
};

// One usbmon record as read back from the file.
struct UsbmonRecord {
    std::uint64_t urbId = 0;
    char type = 0;
    std::uint8_t transferType = 0;
    std::uint8_t endpoint = 0;
    std::uint8_t address = 0;
    std::uint16_t bus = 0;
    std::uint8_t flagSetup = 0;
    std::int32_t status = 0;
    std::uint32_t length = 0;
    std::uint32_t capturedLength = 0;
    std::array<std::uint8_t, 8> setup{};
    std::vector<std::uint8_t> data;
};

std::uint64_t ReadLe(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= static_cast<std::uint64_t>(bytes.at(at + i)) << (8 * i);
    }
    return value;
}

struct Capture {
    std::uint32_t magic = 0;
    std::uint32_t linkType = 0;
    std::vector<UsbmonRecord> records;
    bool wellFormed = false;
};

Capture ParseCapture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Capture capture;
    if (bytes.size() < 24) {
        return capture;
    }
    capture.magic = static_cast<std::uint32_t>(ReadLe(bytes, 0, 4));
    capture.linkType = static_cast<std::uint32_t>(ReadLe(bytes, 20, 4));
    std::size_t at = 24;
    while (at + 16 <= bytes.size()) {
        const auto included = static_cast<std::size_t>(ReadLe(bytes, at + 8, 4));
        if (included < 64 || at + 16 + included > bytes.size() || ReadLe(bytes, at + 12, 4) != included) {
            return capture;
        }
        const std::size_t h = at + 16;
        UsbmonRecord r;
        r.urbId = ReadLe(bytes, h, 8);
        r.type = static_cast<char>(bytes[h + 8]);
        r.transferType = bytes[h + 9];
        r.endpoint = bytes[h + 10];
        r.address = bytes[h + 11];
        r.bus = static_cast<std::uint16_t>(ReadLe(bytes, h + 12, 2));
        r.flagSetup = bytes[h + 14];
        r.status = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadLe(bytes, h + 28, 4)));
        r.length = static_cast<std::uint32_t>(ReadLe(bytes, h + 32, 4));
        r.capturedLength = static_cast<std::uint32_t>(ReadLe(bytes, h + 36, 4));
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(h + 40), 8, r.setup.begin());
        if (r.capturedLength != included - 64) {
            return capture;
        }
        r.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(h + 64),
                      bytes.begin() + static_cast<std::ptrdiff_t>(h + included));
        capture.records.push_back(std::move(r));
        at = h + included;
    }
    capture.wellFormed = at == bytes.size();
    return capture;
}

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("orvo_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

// Runs tshark on the capture, outside the umockdev and sanitizer preloads.
std::vector<std::string> TsharkLines(const std::string& capture, const std::string& options) {
    const std::string command = "env -u LD_PRELOAD -u UMOCKDEV_DIR tshark -r '" + capture + "' " + options +
                                " 2>/dev/null";
    std::vector<std::string> lines;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return lines;
    }
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        std::string line = buffer.data();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        lines.push_back(line);
    }
    ::pclose(pipe);
    return lines;
}

bool HaveTshark() { return std::system("command -v tshark >/dev/null 2>&1") == 0; }

class CaptureTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path_); }

    std::unique_ptr<CapturingUsbBackend> StartCapture(UsbBackend& inner) {
        std::string error;
        auto capturing = CapturingUsbBackend::Start(inner, path_, error);
        EXPECT_NE(capturing, nullptr) << error;
        return capturing;
    }

    // DNLOAD of `block`, then GETSTATUS, UPLOAD and GETSTATE.
    static void RunDfuExchange(UsbDeviceHandle& handle, const std::vector<std::uint8_t>& block) {
        std::size_t moved = 0;
        std::vector<std::uint8_t> out = block;
        EXPECT_EQ(handle.ControlTransfer({0x21, 1, 2, 0, static_cast<std::uint16_t>(out.size())}, out, kTimeoutMs,
                                         moved),
                  UsbStatus::Ok);
        std::vector<std::uint8_t> status(6);
        EXPECT_EQ(handle.ControlTransfer({0xA1, 3, 0, 0, 6}, status, kTimeoutMs, moved), UsbStatus::Ok);
        std::vector<std::uint8_t> back(block.size());
        EXPECT_EQ(handle.ControlTransfer({0xA1, 2, 2, 0, static_cast<std::uint16_t>(back.size())}, back,
                                         kTimeoutMs, moved),
                  UsbStatus::Ok);
        std::vector<std::uint8_t> state(1);
        EXPECT_EQ(handle.ControlTransfer({0xA1, 5, 0, 0, 1}, state, kTimeoutMs, moved), UsbStatus::Ok);
    }

    std::string path_ = TempPath("capture.pcap");
};

TEST_F(CaptureTest, WritesUsbmonSubmissionAndCompletionRecords) {
    const auto device = std::make_shared<TinyDfuDevice>();
    DirectBackend direct(device);
    const std::vector<std::uint8_t> block{0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    {
        auto capturing = StartCapture(direct);
        ASSERT_NE(capturing, nullptr);
        UsbStatus status = UsbStatus::Error;
        auto handle = capturing->Open(DirectBackend::kPath, status);
        ASSERT_NE(handle, nullptr);
        RunDfuExchange(*handle, block);
        device->InjectFault(TinyDfuDevice::Fault::Stall);
        std::vector<std::uint8_t> status6(6);
        std::size_t moved = 0;
        EXPECT_EQ(handle->ControlTransfer({0xA1, 3, 0, 0, 6}, status6, kTimeoutMs, moved), UsbStatus::Stall);
    }

    const Capture capture = ParseCapture(path_);
    ASSERT_TRUE(capture.wellFormed);
    EXPECT_EQ(capture.magic, 0xA1B2C3D4u);
    EXPECT_EQ(capture.linkType, 220u);
    ASSERT_EQ(capture.records.size(), 10u);
    for (std::size_t i = 0; i < capture.records.size(); i += 2) {
        const UsbmonRecord& s = capture.records[i];
        const UsbmonRecord& c = capture.records[i + 1];
        EXPECT_EQ(s.type, 'S');
        EXPECT_EQ(c.type, 'C');
        EXPECT_EQ(s.urbId, c.urbId) << "a completion names its submission";
        EXPECT_EQ(s.transferType, 2) << "control";
        EXPECT_EQ(s.bus, 3) << "from the path";
        EXPECT_EQ(s.address, 2) << "a backend without addresses gets them counted from 2";
        EXPECT_EQ(s.flagSetup, 0);
        EXPECT_EQ(s.status, -115) << "-EINPROGRESS";
        EXPECT_EQ(c.endpoint, s.endpoint);
        EXPECT_EQ(s.endpoint, s.setup[0] & 0x80);
    }
    if (HasFailure()) {
        return;
    }
    // DNLOAD: setup and data in the submission, nothing in the completion.
    const auto& dnload = capture.records[0];
    EXPECT_EQ(dnload.setup, (std::array<std::uint8_t, 8>{0x21, 1, 2, 0, 0, 0, 5, 0}));
    EXPECT_EQ(dnload.data, block);
    EXPECT_EQ(capture.records[1].length, 5u);
    EXPECT_TRUE(capture.records[1].data.empty());
    // GETSTATUS: six bytes back, in the completion.
    EXPECT_TRUE(capture.records[2].data.empty());
    EXPECT_EQ(capture.records[3].data.size(), 6u);
    EXPECT_EQ(capture.records[3].status, 0);
    // UPLOAD gives the block back.
    EXPECT_EQ(capture.records[5].data, block);
    // The stall is the completion's status.
    EXPECT_EQ(capture.records[9].status, -32) << "-EPIPE";
    EXPECT_TRUE(capture.records[9].data.empty());
}

TEST_F(CaptureTest, StandardRequestsAppearAsTheirSetupPackets) {
    const auto device = std::make_shared<TinyDfuDevice>();
    DirectBackend direct(device);
    {
        auto capturing = StartCapture(direct);
        ASSERT_NE(capturing, nullptr);
        UsbStatus status = UsbStatus::Error;
        auto handle = capturing->Open(DirectBackend::kPath, status);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle->SetAlternateSetting(0, 1), UsbStatus::Ok);
        std::string text;
        EXPECT_EQ(handle->GetStringDescriptor(2, text, kTimeoutMs), UsbStatus::Ok);
        std::vector<std::uint8_t> config;
        EXPECT_EQ(handle->GetConfigDescriptor(config), UsbStatus::Ok);
    }

    const Capture capture = ParseCapture(path_);
    ASSERT_TRUE(capture.wellFormed);
    ASSERT_EQ(capture.records.size(), 6u);
    EXPECT_EQ(capture.records[0].setup, (std::array<std::uint8_t, 8>{0x01, 11, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(capture.records[2].setup[1], 6);
    EXPECT_EQ(capture.records[2].setup[3], 3) << "string descriptor";
    const std::vector<std::uint8_t> productString{18, 3, 'T', 0, 'i', 0, 'n', 0, 'y', 0, ' ', 0,
                                                  'D', 0, 'F', 0, 'U', 0};
    EXPECT_EQ(capture.records[3].data, productString);
    EXPECT_EQ(capture.records[5].data, device->ConfigurationDescriptor());
}

TEST_F(CaptureTest, UnwritableFileIsAClearError) {
    const auto device = std::make_shared<TinyDfuDevice>();
    DirectBackend direct(device);
    std::string error;

    EXPECT_EQ(CapturingUsbBackend::Start(direct, "/nonexistent-dir/x.pcap", error), nullptr);
    EXPECT_NE(error.find("/nonexistent-dir/x.pcap"), std::string::npos) << error;
}

TEST(CapturePath, BusNumberComesFromThePath) {
    EXPECT_EQ(BusNumberFromPath("USB\\VID_1209&PID_7A70\\BUS_012&PORT_1.2"), 12);
    EXPECT_EQ(BusNumberFromPath("USB\\VID_1209&PID_7A70\\BUS_&PORT_1"), 1);
    EXPECT_EQ(BusNumberFromPath("whatever"), 1);
}

// The capture of a real libusb session (through umockdev) is what Wireshark
// decodes as DFU once told which device it is.
TEST_F(CaptureTest, TsharkDecodesALibusbCaptureAsDfu) {
    ASSERT_TRUE(UmockdevUsbBus::IsEmulationActive()) << "run this program under umockdev-wrapper (ctest does)";
    if (!HaveTshark()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    UmockdevUsbBus bus;
    bus.Plug(std::make_shared<TinyDfuDevice>(), {1, 2, {1}});
    {
        LibusbBackend libusb;
        auto capturing = StartCapture(libusb);
        ASSERT_NE(capturing, nullptr);
        UsbStatus status = UsbStatus::Error;
        auto handle = capturing->Open("USB\\VID_1209&PID_7A70\\BUS_001&PORT_1", status);
        ASSERT_NE(handle, nullptr) << UsbStatusName(status);
        ASSERT_EQ(handle->ClaimInterface(0), UsbStatus::Ok);
        RunDfuExchange(*handle, {1, 2, 3, 4});
    }

    const auto lines = TsharkLines(path_, "-d usb.device==0x00010002,usbdfu -Y usbdfu -T fields -e usb.urb_type "
                                          "-e usbdfu.command -e usbdfu.response -e usbdfu.state");
    // Every request and every answer is a DFU frame; the answers name their
    // request, and GETSTATUS's answer is decoded down to the state.
    const std::vector<std::string> expected{
        "'S'\t1\t\t", "'C'\t\t1\t",   // DNLOAD
        "'S'\t3\t\t", "'C'\t\t3\t5",  // GETSTATUS: dfuDNLOAD-IDLE
        "'S'\t2\t\t", "'C'\t\t2\t",   // UPLOAD
        "'S'\t5\t\t", "'C'\t\t5\t5",  // GETSTATE
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace

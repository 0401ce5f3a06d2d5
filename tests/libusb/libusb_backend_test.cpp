#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "device/usb/libusb_backend.h"
#include "libusb/file_mode_override.h"
#include "libusb/tiny_dfu_device.h"
#include "libusb/umockdev_usb_bus.h"

namespace {

using namespace std::chrono_literals;

constexpr unsigned kTimeoutMs = 1000;
const std::string kFirstPath = "USB\\VID_1209&PID_7A70\\BUS_001&PORT_1";

std::size_t OpenFileCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator{}));
}

UsbSetupPacket GetStatusRequest() { return {0xA1, TinyDfuDevice::kGetStatus, 0, 0, 6}; }

// umockdev reports a closed device node from its own thread, a moment later.
template <typename Predicate>
bool Eventually(Predicate condition) {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

UsbStatus Transfer(UsbDeviceHandle& handle, const UsbSetupPacket& setup, std::vector<std::uint8_t>& data,
                   unsigned timeoutMs = kTimeoutMs) {
    std::size_t transferred = 0;
    const UsbStatus status = handle.ControlTransfer(setup, data, timeoutMs, transferred);
    data.resize(transferred);
    return status;
}

class LibusbOverUmockdev : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UmockdevUsbBus::IsEmulationActive())
            << "run this program under umockdev-wrapper (ctest does)";
    }

    // The backend comes after the devices: libusb scans the bus when its
    // context starts.
    LibusbBackend& Backend() {
        if (!backend_) {
            backend_ = std::make_unique<LibusbBackend>();
        }
        return *backend_;
    }

    std::unique_ptr<UsbDeviceHandle> OpenClaimed(const std::string& path) {
        UsbStatus status = UsbStatus::Error;
        auto handle = Backend().Open(path, status);
        EXPECT_EQ(status, UsbStatus::Ok) << UsbStatusName(status);
        if (handle) {
            EXPECT_EQ(handle->ClaimInterface(0), UsbStatus::Ok);
        }
        return handle;
    }

    void TearDown() override { backend_.reset(); }

    UmockdevUsbBus bus_;
    std::unique_ptr<LibusbBackend> backend_;
};

TEST_F(LibusbOverUmockdev, EnumeratesADfuDeviceWithPathAndProductString) {
    bus_.Plug(std::make_shared<TinyDfuDevice>());
    Backend().EnumerateDfuInterfaces();
    const std::size_t filesOpen = OpenFileCount();
    for (int i = 0; i < 4; ++i) {
        Backend().EnumerateDfuInterfaces();
    }

    const auto found = Backend().EnumerateDfuInterfaces();

    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, kFirstPath);
    EXPECT_EQ(found[0].description, "Tiny DFU");
    EXPECT_EQ(found[0].descriptionStatus, UsbStatus::Ok);
    EXPECT_EQ(found[0].interfaceNumber, 0);
    // A device kept open would leave a descriptor (and umockdev's end of the
    // connection) behind per enumeration, five or more here; umockdev closes
    // its end of the last connections a moment late, hence a little slack.
    EXPECT_LE(OpenFileCount(), filesOpen + 2) << "enumeration must not keep the device open";
}

TEST_F(LibusbOverUmockdev, ListsOnlyDfuModeInterfacesByBusAndPortWhateverThePluggingOrder) {
    TinyDfuDevice::Options other;
    other.interfaceClass = 0xFF;
    other.productId = 0x0001;
    TinyDfuDevice::Options second;
    second.interfaceNumber = 1;
    second.product = "Second";
    bus_.Plug(std::make_shared<TinyDfuDevice>(), {1, 2, {3}});
    bus_.Plug(std::make_shared<TinyDfuDevice>(other), {1, 3, {2}});
    bus_.Plug(std::make_shared<TinyDfuDevice>(), {2, 4, {1}});
    bus_.Plug(std::make_shared<TinyDfuDevice>(second), {1, 5, {1}});

    const auto found = Backend().EnumerateDfuInterfaces();

    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].path, kFirstPath);
    EXPECT_EQ(found[0].interfaceNumber, 1);
    EXPECT_EQ(found[0].description, "Second");
    EXPECT_EQ(found[1].path, "USB\\VID_1209&PID_7A70\\BUS_001&PORT_3");
    EXPECT_EQ(found[1].interfaceNumber, 0);
    EXPECT_EQ(found[2].path, "USB\\VID_1209&PID_7A70\\BUS_002&PORT_1");
}

TEST_F(LibusbOverUmockdev, DeviceWithoutAReadableProductStringHasNoDescription) {
    TinyDfuDevice::Options options;
    options.product = std::nullopt;  // the string request stalls
    bus_.Plug(std::make_shared<TinyDfuDevice>(options));

    const auto found = Backend().EnumerateDfuInterfaces();

    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, kFirstPath) << "the path is known even without a description";
    EXPECT_FALSE(found[0].description.has_value());
    EXPECT_EQ(found[0].descriptionStatus, UsbStatus::Stall);
}

TEST_F(LibusbOverUmockdev, DeviceThatMayNotBeOpenedIsReportedAsAccessDenied) {
    UmockdevUsbBus::Placement placement;
    placement.accessDenied = true;
    bus_.Plug(std::make_shared<TinyDfuDevice>(), placement);
    const WithoutFileModeOverride asAUser;

    const auto found = Backend().EnumerateDfuInterfaces();
    UsbStatus status = UsbStatus::Ok;
    const auto handle = Backend().Open(kFirstPath, status);

    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].description.has_value());
    EXPECT_EQ(found[0].descriptionStatus, UsbStatus::AccessDenied) << UsbStatusName(found[0].descriptionStatus);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(status, UsbStatus::AccessDenied);
}

TEST_F(LibusbOverUmockdev, OpenUnknownPathIsNotFound) {
    bus_.Plug(std::make_shared<TinyDfuDevice>());
    UsbStatus status = UsbStatus::Ok;

    EXPECT_EQ(Backend().Open("USB\\VID_1209&PID_7A70\\BUS_001&PORT_9", status), nullptr);
    EXPECT_EQ(status, UsbStatus::NotFound);
}

TEST_F(LibusbOverUmockdev, ClaimSelectAndControlTransfersRoundTrip) {
    const auto device = std::make_shared<TinyDfuDevice>();
    bus_.Plug(device);
    // Paths are matched without regard to case.
    auto handle = OpenClaimed("usb\\vid_1209&pid_7a70\\bus_001&port_1");
    ASSERT_NE(handle, nullptr);

    EXPECT_EQ(handle->SetAlternateSetting(0, 1), UsbStatus::Ok);
    EXPECT_EQ(device->AlternateSetting(), 1);

    std::vector<std::uint8_t> block(200);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7);
    }
    std::vector<std::uint8_t> sent = block;
    EXPECT_EQ(Transfer(*handle, {0x21, TinyDfuDevice::kDnload, 2, 0, 200}, sent), UsbStatus::Ok);
    EXPECT_EQ(sent.size(), 200u);

    std::vector<std::uint8_t> status(6);
    ASSERT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::Ok);
    ASSERT_EQ(status.size(), 6u);
    EXPECT_EQ(status[4], TinyDfuDevice::kDnloadIdle);

    std::vector<std::uint8_t> readBack(512);  // asks for more than there is
    EXPECT_EQ(Transfer(*handle, {0xA1, TinyDfuDevice::kUpload, 2, 0, 512}, readBack), UsbStatus::Ok);
    EXPECT_EQ(readBack, block);

    std::vector<std::uint8_t> none;
    EXPECT_EQ(Transfer(*handle, {0x21, TinyDfuDevice::kAbort, 0, 0, 0}, none), UsbStatus::Ok);
    std::vector<std::uint8_t> state(1);
    EXPECT_EQ(Transfer(*handle, {0xA1, TinyDfuDevice::kGetState, 0, 0, 1}, state), UsbStatus::Ok);
    EXPECT_EQ(state, std::vector<std::uint8_t>{TinyDfuDevice::kIdle});
    EXPECT_EQ(handle->ReleaseInterface(0), UsbStatus::Ok);
}

TEST_F(LibusbOverUmockdev, WLengthNeverReachesPastTheCallersBuffer) {
    bus_.Plug(std::make_shared<TinyDfuDevice>());
    auto handle = OpenClaimed(kFirstPath);
    ASSERT_NE(handle, nullptr);

    std::vector<std::uint8_t> small(2);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), small), UsbStatus::Stall)
        << "the device saw wLength 2, not 6, and refused";
}

TEST_F(LibusbOverUmockdev, ReadsDescriptorsThroughTheHandle) {
    const auto device = std::make_shared<TinyDfuDevice>();
    bus_.Plug(device);
    auto handle = OpenClaimed(kFirstPath);
    ASSERT_NE(handle, nullptr);

    std::vector<std::uint8_t> config;
    EXPECT_EQ(handle->GetConfigDescriptor(config), UsbStatus::Ok);
    EXPECT_EQ(config, device->ConfigurationDescriptor());

    std::string text;
    EXPECT_EQ(handle->GetStringDescriptor(5, text, kTimeoutMs), UsbStatus::Ok);
    EXPECT_EQ(text, "@Store /0x00000000/8*001Kg");
    EXPECT_EQ(handle->GetStringDescriptor(9, text, kTimeoutMs), UsbStatus::Stall);
    EXPECT_EQ(handle->GetStringDescriptor(0, text, kTimeoutMs), UsbStatus::NotFound);
}

TEST_F(LibusbOverUmockdev, StallAndTimeoutAreReportedAndTheDeviceStaysUsable) {
    const auto device = std::make_shared<TinyDfuDevice>();
    bus_.Plug(device);
    auto handle = OpenClaimed(kFirstPath);
    ASSERT_NE(handle, nullptr);
    std::vector<std::uint8_t> status(6);

    device->InjectFault(TinyDfuDevice::Fault::Stall);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::Stall);
    status.resize(6);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::Ok);

    device->InjectFault(TinyDfuDevice::Fault::Silent);
    status.resize(6);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status, 100), UsbStatus::Timeout);
    // The silent device answers only after 3 s: the 100 ms timeout must end
    // the wait long before that.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the timeout must end the wait";
    // Once the device has got over its silence it answers again.
    status.resize(6);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status, 10000), UsbStatus::Ok);
}

TEST_F(LibusbOverUmockdev, DeviceVanishingMidTransferGivesNoDevice) {
    const auto device = std::make_shared<TinyDfuDevice>();
    bus_.Plug(device);
    auto handle = OpenClaimed(kFirstPath);
    ASSERT_NE(handle, nullptr);
    std::vector<std::uint8_t> status(6);

    device->InjectFault(TinyDfuDevice::Fault::Vanish);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::NoDevice);
    status.resize(6);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::NoDevice);
}

TEST_F(LibusbOverUmockdev, UnpluggedDeviceGivesNoDeviceAndIsNoLongerListed) {
    const int id = bus_.Plug(std::make_shared<TinyDfuDevice>());
    auto handle = OpenClaimed(kFirstPath);
    ASSERT_NE(handle, nullptr);

    bus_.Unplug(id);

    std::vector<std::uint8_t> status(6);
    EXPECT_EQ(Transfer(*handle, GetStatusRequest(), status), UsbStatus::NoDevice);
    EXPECT_TRUE(Eventually([&] { return Backend().EnumerateDfuInterfaces().empty(); }));
    UsbStatus openStatus = UsbStatus::Ok;
    EXPECT_EQ(Backend().Open(kFirstPath, openStatus), nullptr);
}

}  // namespace

namespace {

TEST(LibusbDevicePath, NamesVendorProductBusAndThePortChain) {
    EXPECT_EQ(FormatUsbDevicePath(0x1209, 0xd0f0, 3, {2, 4, 1}), "USB\\VID_1209&PID_D0F0\\BUS_003&PORT_2.4.1");
    EXPECT_EQ(FormatUsbDevicePath(0xABCD, 0x0001, 1, {}), "USB\\VID_ABCD&PID_0001\\BUS_001&PORT_0");
}

}  // namespace

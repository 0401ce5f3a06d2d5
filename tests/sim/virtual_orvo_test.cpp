#include "virtual_orvo.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/file_io.h"
#include "support/test_platform.h"
#include "virtual_usb_bus.h"

namespace {

// Talks to the model directly, one request at a time, as a host would.
class Host {
public:
    explicit Host(VirtualOrvo& orvo) : orvo_(orvo) {}

    UsbStatus Out(std::uint8_t request, std::uint16_t value, std::vector<std::uint8_t> data = {}) {
        UsbSetupPacket s{dfu::kRequestOut, request, value, 0, static_cast<std::uint16_t>(data.size())};
        std::size_t n = 0;
        return orvo_.ControlTransfer(s, data, n);
    }
    UsbStatus In(std::uint8_t request, std::uint16_t value, std::vector<std::uint8_t>& data) {
        UsbSetupPacket s{dfu::kRequestIn, request, value, 0, static_cast<std::uint16_t>(data.size())};
        std::size_t n = 0;
        const UsbStatus st = orvo_.ControlTransfer(s, data, n);
        data.resize(n);
        return st;
    }
    dfu::StatusBlock GetStatus() {
        std::vector<std::uint8_t> raw(6);
        EXPECT_EQ(In(dfu::GETSTATUS, 0, raw), UsbStatus::Ok);
        return raw.size() == 6 ? dfu::DecodeStatus(raw.data()) : dfu::StatusBlock{};
    }
    // DNLOAD, then GETSTATUS until the busy time is over; returns the last status.
    dfu::StatusBlock Download(std::uint16_t block, std::vector<std::uint8_t> data) {
        EXPECT_EQ(Out(dfu::DNLOAD, block, std::move(data)), UsbStatus::Ok);
        dfu::StatusBlock s = GetStatus();
        EXPECT_EQ(s.bState, dfu::dfuDNBUSY);
        std::this_thread::sleep_for(std::chrono::milliseconds(s.bwPollTimeout));
        return GetStatus();
    }
    static std::vector<std::uint8_t> Command(std::uint8_t command, std::uint32_t address) {
        return {command, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
    }

private:
    VirtualOrvo& orvo_;
};

class VirtualOrvoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(orvo.SetAlternateSetting(0, 1), UsbStatus::Ok); }
    VirtualOrvo orvo;
    Host host{orvo};
};

TEST_F(VirtualOrvoTest, DescribesItselfAsADfuModeDeviceWithTwoMemoryMaps) {
    const auto config = orvo.ConfigurationDescriptor();
    ASSERT_EQ(config.size(), 36u);
    EXPECT_EQ(config[2] | (config[3] << 8), 36);
    // Two alternate settings of interface 0, DFU mode, strings 4 and 5.
    for (int alt = 0; alt < 2; ++alt) {
        const auto* i = &config[9 + 9 * alt];
        EXPECT_EQ(i[1], 4);
        EXPECT_EQ(i[3], alt);
        EXPECT_EQ(i[5], 0xFE);
        EXPECT_EQ(i[6], 0x01);
        EXPECT_EQ(i[7], 0x02);
        EXPECT_EQ(*orvo.StringDescriptor(i[8]), alt == 0 ? kOrvoFirmwareMap : kOrvoDataFlashMap);
    }
    const auto* functional = &config[27];
    EXPECT_EQ(functional[1], 0x21);
    EXPECT_EQ(functional[5] | (functional[6] << 8), 2048);
    const auto device = orvo.DeviceDescriptor();
    EXPECT_EQ(*orvo.StringDescriptor(device[15]), "Orvo in DFU mode");
}

TEST_F(VirtualOrvoTest, IdentityBlockHoldsSerialTextAndProductName) {
    VirtualOrvoConfig config;
    config.serial = "XY98765";
    config.identityText = "some identity";
    VirtualOrvo other(config);
    const auto block = other.ReadFlash(kOrvoIdentityAddress, kOrvoIdentitySize);
    ASSERT_EQ(block.size(), 56u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[0])), "XY98765");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[8])), "some identity");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[40])), "Orvo");
    EXPECT_EQ(block[8 + 14], 0xFF);  // untouched flash between the texts
}

TEST_F(VirtualOrvoTest, CommandsFollowTheGetStatusHandshake) {
    EXPECT_EQ(orvo.State(), dfu::dfuIDLE);
    auto s = host.Download(0, Host::Command(dfu::kCommandErase, 0x00600010));
    EXPECT_EQ(s.bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(orvo.ErasedSectors(), std::vector<std::uint32_t>{0x00600000});

    s = host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    EXPECT_EQ(s.bState, dfu::dfuDNLOAD_IDLE);
    s = host.Download(3, {1, 2, 3, 4});  // block 3: one wTransferSize past the pointer
    EXPECT_EQ(s.bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(orvo.ReadFlash(0x00600800, 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    // UPLOAD only from dfuIDLE: ABORT first.
    EXPECT_EQ(host.Out(dfu::ABORT, 0), UsbStatus::Ok);
    std::vector<std::uint8_t> data(4);
    EXPECT_EQ(host.In(dfu::UPLOAD, 3, data), UsbStatus::Ok);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(orvo.State(), dfu::dfuUPLOAD_IDLE);
    EXPECT_EQ(orvo.ProtocolViolations(), 0u) << ::testing::PrintToString(orvo.ViolationLog());
}

TEST_F(VirtualOrvoTest, RequestsOutsideTheirStateStallAndCount) {
    std::vector<std::uint8_t> data(16);
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Stall);  // only in dfuERROR
    EXPECT_EQ(orvo.State(), dfu::dfuERROR);
    EXPECT_EQ(orvo.Status(), dfu::errSTALLEDPKT);
    EXPECT_EQ(host.Out(dfu::ABORT, 0), UsbStatus::Stall);  // not in dfuERROR either
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    EXPECT_EQ(orvo.State(), dfu::dfuIDLE);

    host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    EXPECT_EQ(host.In(dfu::UPLOAD, 2, data), UsbStatus::Stall);  // in dfuDNLOAD-IDLE
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    EXPECT_EQ(host.Out(dfu::DETACH, 1000), UsbStatus::Stall);
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 1, {0}), UsbStatus::Stall);  // block 1 means nothing
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 0, {0x55, 0, 0, 0, 0}), UsbStatus::Stall);  // unknown command
    EXPECT_EQ(orvo.ProtocolViolations(), 6u);
}

TEST_F(VirtualOrvoTest, AddressesOutsideTheMapOrItsPropertiesAreErrTarget) {
    auto s = host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00800000));
    EXPECT_EQ(s.bState, dfu::dfuERROR);
    EXPECT_EQ(s.bStatus, dfu::errTARGET);
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);

    ASSERT_EQ(orvo.SetAlternateSetting(0, 0), UsbStatus::Ok);  // the read-only firmware area
    s = host.Download(0, Host::Command(dfu::kCommandErase, 0x00100000));
    EXPECT_EQ(s.bStatus, dfu::errTARGET);
    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    EXPECT_TRUE(orvo.ErasedSectors().empty());
}

TEST_F(VirtualOrvoTest, FlashBehavesLikeNor) {
    orvo.WriteFlash(0x00600000, {0xF0, 0xFF});
    host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    // Programming can clear bits but never set them: 0x0F over 0xF0 reads 0x00.
    auto s = host.Download(2, {0x0F, 0x3C});
    EXPECT_EQ(s.bState, dfu::dfuERROR);
    EXPECT_EQ(s.bStatus, dfu::errPROG);
    EXPECT_EQ(orvo.ReadFlash(0x00600000, 2), (std::vector<std::uint8_t>{0x00, 0x3C}));

    EXPECT_EQ(host.Out(dfu::CLRSTATUS, 0), UsbStatus::Ok);
    host.Download(0, Host::Command(dfu::kCommandErase, 0x00600000));
    EXPECT_EQ(orvo.ReadFlash(0x00600000, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
}

TEST_F(VirtualOrvoTest, MassEraseIsCarriedOutButCountsAsAViolation) {
    auto s = host.Download(0, {dfu::kCommandErase});
    EXPECT_EQ(s.bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(orvo.ProtocolViolations(), 1u);
    EXPECT_EQ(orvo.ReadFlash(kOrvoIdentityAddress, 4), (std::vector<std::uint8_t>(4, 0xFF)));
}

// The busy time is judged on a clock the test moves: "early" is early however
// slow the machine.
struct ManualClock {
    std::shared_ptr<std::chrono::steady_clock::time_point> now =
        std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    std::function<std::chrono::steady_clock::time_point()> Reader() const {
        return [now = now] { return *now; };
    }
    void Advance(std::chrono::milliseconds step) const { *now += step; }
};

TEST(VirtualOrvoClock, EarlyGetStatusIsAViolation) {
    const ManualClock clock;
    VirtualOrvoConfig config;
    config.timing = OrvoTiming::Scaled(0.1);  // sector erase: 40 ms
    config.clock = clock.Reader();
    VirtualOrvo orvo(config);
    Host host(orvo);
    ASSERT_EQ(orvo.SetAlternateSetting(0, 1), UsbStatus::Ok);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 0, Host::Command(dfu::kCommandErase, 0x00600000)), UsbStatus::Ok);
    const auto busy = host.GetStatus();
    EXPECT_EQ(busy.bState, dfu::dfuDNBUSY);
    EXPECT_EQ(busy.bwPollTimeout, 40u);
    clock.Advance(std::chrono::milliseconds(39));
    const auto early = host.GetStatus();  // lenient: still busy, with what is left
    EXPECT_EQ(early.bState, dfu::dfuDNBUSY);
    EXPECT_EQ(early.bwPollTimeout, 1u);
    EXPECT_EQ(orvo.ProtocolViolations(), 1u);
    clock.Advance(std::chrono::milliseconds(early.bwPollTimeout));
    EXPECT_EQ(host.GetStatus().bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(orvo.ProtocolViolations(), 1u);
    EXPECT_EQ(orvo.Stats().busyUs, 40000u);
}

TEST_F(VirtualOrvoTest, BusyForeverNeverDoesTheWorkUntilPluggedInAgain) {
    orvo.WriteFlash(0x00600000, {0x00, 0x00});
    orvo.BusyForeverAt(OrvoRequestKind::Erase, 1);
    host.Download(0, Host::Command(dfu::kCommandErase, 0x00610000));  // index 0: done as usual
    EXPECT_EQ(orvo.ErasedSectors(), std::vector<std::uint32_t>{0x00610000});

    EXPECT_EQ(host.Out(dfu::DNLOAD, 0, Host::Command(dfu::kCommandErase, 0x00600000)), UsbStatus::Ok);
    for (int poll = 0; poll < 3; ++poll) {
        const auto s = host.GetStatus();
        EXPECT_EQ(s.bState, dfu::dfuDNBUSY);
        EXPECT_EQ(s.bStatus, dfu::OK);
        EXPECT_EQ(s.bwPollTimeout, kOrvoStuckPollMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(s.bwPollTimeout));
    }
    orvo.ClearFaults();  // does not end a hang already under way
    EXPECT_EQ(host.GetStatus().bState, dfu::dfuDNBUSY);
    EXPECT_EQ(orvo.ReadFlash(0x00600000, 2), (std::vector<std::uint8_t>{0x00, 0x00}));
    EXPECT_EQ(orvo.ProtocolViolations(), 0u) << ::testing::PrintToString(orvo.ViolationLog());

    orvo.OnDetach();
    orvo.OnAttach();
    ASSERT_EQ(orvo.SetAlternateSetting(0, 1), UsbStatus::Ok);
    EXPECT_EQ(host.GetStatus().bState, dfu::dfuIDLE);
    EXPECT_EQ(host.Download(0, Host::Command(dfu::kCommandErase, 0x00600000)).bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(orvo.ReadFlash(0x00600000, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
}

TEST_F(VirtualOrvoTest, NoAnswerTimesOutThatRequestAndEveryLaterOne) {
    orvo.NoAnswerFrom(OrvoRequestKind::Program, 1);
    host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    EXPECT_EQ(host.Download(2, {0x11}).bState, dfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 3, {0x22}), UsbStatus::Timeout);
    std::vector<std::uint8_t> raw(6);
    EXPECT_EQ(host.In(dfu::GETSTATUS, 0, raw), UsbStatus::Timeout);
    EXPECT_EQ(host.Out(dfu::ABORT, 0), UsbStatus::Timeout);
    EXPECT_EQ(orvo.ReadFlash(0x00600000, 1), std::vector<std::uint8_t>{0x11});
    EXPECT_EQ(orvo.ReadFlash(0x00600800, 1), std::vector<std::uint8_t>{0xFF});  // block 3 never programmed

    orvo.OnDetach();
    orvo.OnAttach();
    EXPECT_EQ(host.GetStatus().bState, dfu::dfuIDLE);

    // Silent from a GETSTATUS on: the block it would have programmed stays as it was.
    ASSERT_EQ(orvo.SetAlternateSetting(0, 1), UsbStatus::Ok);
    host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    orvo.NoAnswerFrom(OrvoRequestKind::GetStatus, 0);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 4, {0x33}), UsbStatus::Ok);
    std::vector<std::uint8_t> status(6);
    EXPECT_EQ(host.In(dfu::GETSTATUS, 0, status), UsbStatus::Timeout);
    EXPECT_EQ(orvo.ReadFlash(0x00601000, 1), std::vector<std::uint8_t>{0xFF});
}

TEST(VirtualUsbBus, SilentDeviceIsATimeoutForTheHost) {
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    const std::string path = bus.Plug(orvo);
    orvo->NoAnswerFrom(OrvoRequestKind::GetStatus, 0);
    UsbStatus status = UsbStatus::Ok;
    auto handle = bus.Open(path, status);
    ASSERT_TRUE(handle);
    std::uint8_t raw[6] = {};
    std::size_t n = 0;
    EXPECT_EQ(handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n), UsbStatus::Timeout);
    EXPECT_EQ(n, 0u);
    handle.reset();

    // Pulled out and plugged in again, it answers.
    bus.Unplug(path);
    const std::string again = bus.Plug(orvo);
    handle = bus.Open(again, status);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n), UsbStatus::Ok);
}

TEST(VirtualOrvoStrict, EarlyGetStatusStalls) {
    VirtualOrvoConfig config;
    config.strict = true;
    config.timing = OrvoTiming::Scaled(0.1);
    config.clock = [frozen = std::chrono::steady_clock::now()] { return frozen; };
    VirtualOrvo orvo(config);
    Host host(orvo);
    ASSERT_EQ(orvo.SetAlternateSetting(0, 1), UsbStatus::Ok);
    EXPECT_EQ(host.Out(dfu::DNLOAD, 0, Host::Command(dfu::kCommandErase, 0x00600000)), UsbStatus::Ok);
    EXPECT_EQ(host.GetStatus().bState, dfu::dfuDNBUSY);
    std::vector<std::uint8_t> raw(6);
    EXPECT_EQ(host.In(dfu::GETSTATUS, 0, raw), UsbStatus::Stall);
    EXPECT_EQ(orvo.State(), dfu::dfuERROR);
}

TEST(VirtualOrvoFlash, PersistsToAFileAndRefusesAWrongSize) {
    const auto path =
        std::filesystem::temp_directory_path() / ("orvo_flash_test_" + std::to_string(CurrentProcessId()) + ".bin");
    VirtualOrvo a;
    a.WriteFlash(0x00510000, {1, 2, 3});
    std::string error;
    ASSERT_TRUE(a.SaveFlash(path.string(), error)) << error;
    VirtualOrvoConfig config;
    config.serial = "OTHER00";
    VirtualOrvo b(config);
    ASSERT_TRUE(b.LoadFlash(path.string(), error)) << error;
    EXPECT_EQ(b.ReadFlash(0x00510000, 3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(b.ReadFlash(kOrvoIdentityAddress, 7), a.ReadFlash(kOrvoIdentityAddress, 7));

    std::filesystem::resize_file(path, 1000);
    EXPECT_FALSE(b.LoadFlash(path.string(), error));
    EXPECT_FALSE(b.LoadFlash((path.string() + ".missing"), error));
    std::filesystem::remove(path);
}

// A program killed in the middle of a write leaves in the file what the
// flash held at that moment: each erase and block reaches it as it is made.
TEST_F(VirtualOrvoTest, KeptFlashFileFollowsEveryEraseAndBlock) {
    const auto path =
        std::filesystem::temp_directory_path() / ("orvo_kept_flash_" + std::to_string(CurrentProcessId()) + ".bin");
    std::string error;
    orvo.WriteFlash(0x00600000, {0x11, 0x22});
    ASSERT_TRUE(orvo.KeepFlashIn(path.string(), error)) << error;
    const auto fileAt = [&path](std::uint32_t address, std::size_t length) {
        std::vector<std::uint8_t> bytes(length);
        std::FILE* file = OpenFile(path.string(), "rb");
        if (file == nullptr)
            return std::vector<std::uint8_t>{};
        std::fseek(file, static_cast<long>(address), SEEK_SET);
        bytes.resize(std::fread(bytes.data(), 1, length, file));
        std::fclose(file);
        return bytes;
    };
    EXPECT_EQ(fileAt(0x00600000, 2), (std::vector<std::uint8_t>{0x11, 0x22})) << "the flash as it stood";
    EXPECT_EQ(std::filesystem::file_size(path), kOrvoDataFlashSize);

    host.Download(0, Host::Command(dfu::kCommandErase, 0x00600000));
    EXPECT_EQ(fileAt(0x00600000, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    host.Download(0, Host::Command(dfu::kCommandSetAddressPointer, 0x00600000));
    host.Download(3, {1, 2, 3, 4});
    EXPECT_EQ(fileAt(0x00600800, 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(fileAt(0x00600000, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
    // While the Orvo holds it open, Windows keeps the file: the test
    // program's temporary folder takes it away at the end.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// --- the bus

TEST(VirtualUsbBus, GivesEachDeviceItsOwnStablePath) {
    VirtualUsbBus bus;
    const auto a = bus.Plug(std::make_shared<VirtualOrvo>());
    const auto b = bus.Plug(std::make_shared<VirtualOrvo>());
    EXPECT_EQ(a, "USB\\VID_1209&PID_D0F0\\BUS_001&PORT_1");
    EXPECT_EQ(b, "USB\\VID_1209&PID_D0F0\\BUS_001&PORT_2");
    const auto found = bus.EnumerateDfuInterfaces();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, a);
    EXPECT_EQ(found[1].path, b);
    EXPECT_EQ(found[0].description, "Orvo in DFU mode");
    EXPECT_EQ(bus.OpenHandles(), 0u);  // enumeration keeps nothing open

    EXPECT_TRUE(bus.Unplug(a));
    EXPECT_FALSE(bus.Unplug(a));
    const auto c = bus.Plug(std::make_shared<VirtualOrvo>());
    EXPECT_EQ(c, a);  // the free port is used again
}

TEST(VirtualUsbBus, AccessDeniedDeviceIsListedWithoutDescription) {
    VirtualUsbBus bus;
    const auto a = bus.Plug(std::make_shared<VirtualOrvo>());
    bus.DenyAccess(a);
    const auto found = bus.EnumerateDfuInterfaces();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].description.has_value());
    EXPECT_EQ(found[0].descriptionStatus, UsbStatus::AccessDenied);
    UsbStatus status = UsbStatus::Ok;
    EXPECT_EQ(bus.Open(a, status), nullptr);
    EXPECT_EQ(status, UsbStatus::AccessDenied);
}

TEST(VirtualUsbBus, TransferOnAnUnpluggedDeviceIsNoDeviceEvenMidTransfer) {
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    const auto path = bus.Plug(orvo);
    UsbStatus status = UsbStatus::Ok;
    auto handle = bus.Open(path, status);
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->ClaimInterface(0), UsbStatus::Ok);

    orvo->SlowAnswers(5000, 1);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        bus.Unplug(path);
    });
    std::uint8_t raw[6];
    std::size_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    const UsbStatus mid = handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 10000, n);
    unplug.join();
    EXPECT_EQ(mid, UsbStatus::NoDevice);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 100, n), UsbStatus::NoDevice);
    EXPECT_EQ(bus.AttachedCount(), 0u);
    EXPECT_TRUE(bus.EnumerateDfuInterfaces().empty());
}

TEST(VirtualUsbBus, LateAnswerIsATimeout) {
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    UsbStatus status = UsbStatus::Ok;
    auto handle = bus.Open(bus.Plug(orvo), status);
    ASSERT_TRUE(handle);
    orvo->SlowAnswers(60, 1);
    std::uint8_t raw[6];
    std::size_t n = 0;
    EXPECT_EQ(handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 20, n), UsbStatus::Timeout);
    EXPECT_EQ(handle->ControlTransfer({dfu::kRequestIn, dfu::GETSTATUS, 0, 0, 6}, raw, 20, n), UsbStatus::Ok);
}

}  // namespace

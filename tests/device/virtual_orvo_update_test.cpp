// The device side of an update over a virtual Orvo on the virtual bus: the
// identification, the converted database and the date stamp written through
// the real engine with the monitor ticking, then read back over USB.

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "database/database_conversion.h"
#include "database/dfu_preparation.h"
#include "device/identity_block.h"
#include "operation_fixture.h"
#include "database_generator.h"
#include "support/today.h"
#include "support/virtual_bus_engine.h"
#include "update/device_database.h"

class VirtualOrvoUpdate : protected VirtualBusEngine, public OperationFixture {
protected:
    VirtualOrvoUpdate() : OperationFixture(library, bus) {}
    ~VirtualOrvoUpdate() override {
        if (orvo) {
            EXPECT_EQ(orvo->ProtocolViolations(), 0u);
        }
        bus.UnplugAll();
    }

    void Plug(VirtualOrvoConfig config = {}) {
        orvo = std::make_shared<VirtualOrvo>(std::move(config));
        path = bus.Plug(orvo);
        ASSERT_TRUE(device.FindDeviceNow());
    }

    std::vector<std::uint8_t> ReadBack(std::uint32_t address, std::uint32_t length) {
        std::vector<std::uint8_t> data;
        const OperationOutcome outcome = ReadRange(engine, device.DevicePath.Get(), address, length, data);
        EXPECT_EQ(outcome.error, STDFU_NOERROR);
        return data;
    }

    std::string Base() const { return folder.File("tesselDB"); }

    void PrepareDatabase(std::size_t records) {
        DatabaseGeneratorOptions options;
        options.records = records;
        std::ofstream(Base() + ".txt", std::ios::binary) << GenerateDatabaseText(options);
        ASSERT_TRUE(::PrepareDatabase(Base(), device.ProgramFolder, device.Events).Ready());
    }

    IdentifyResult Identify() {
        signals.ShowProgress = 0;
        IdentifyResult result = IdentifyResult::Unreadable;
        RunMonitored([&] {
            result = device.IdentifyDevice("Orvo");
            return true;
        });
        signals.ShowProgress = 1;
        return result;
    }

    std::shared_ptr<VirtualOrvo> orvo;
    std::string path;
};

TEST_F(VirtualOrvoUpdate, IdentifiesTheOrvo) {
    Plug();
    EXPECT_EQ(Identify(), IdentifyResult::Accepted);
    EXPECT_EQ(device.DeviceSerial.Get(), "OR12345");
    EXPECT_EQ(device.DeviceIdText.Get(), "H2026010100000000001");
    EXPECT_EQ(device.DeviceProductName.Get(), "Orvo");
    EXPECT_TRUE(box.Messages().empty());
    EXPECT_FALSE(std::filesystem::exists(folder.File("connectTest.dfu")));
}

// Two devices in one process, each built on its own engine and bus: each
// finds, reads and writes only its own Orvo, although both buses give their
// Orvo the same path.
TEST_F(VirtualOrvoUpdate, EachDeviceWorksOnlyOnTheOrvoOfItsOwnBus) {
    Plug();
    VirtualBusEngine other;
    VirtualOrvoConfig config;
    config.serial = "OR99999";
    auto otherOrvo = std::make_shared<VirtualOrvo>(config);
    const std::string otherPath = other.bus.Plug(otherOrvo);
    CDfuDevice elsewhere(folder.File("orvo-updater"), other.library, other.bus);
    elsewhere.AttachSignals(&signals);
    CycleDisplay elsewhereDisplay(elsewhere.Events, bar, box, signals);
    ASSERT_TRUE(elsewhere.FindDeviceNow());
    EXPECT_EQ(elsewhere.DevicePath.Get(), otherPath);

    EXPECT_EQ(Identify(), IdentifyResult::Accepted);
    EXPECT_EQ(device.DeviceSerial.Get(), "OR12345");
    signals.ShowProgress = 0;
    IdentifyResult identified = IdentifyResult::Unreadable;
    RunMonitored(elsewhere, [&] {
        identified = elsewhere.IdentifyDevice("Orvo");
        return true;
    });
    signals.ShowProgress = 1;
    EXPECT_EQ(identified, IdentifyResult::Accepted);
    EXPECT_EQ(elsewhere.DeviceSerial.Get(), "OR99999");

    const std::vector<std::uint8_t> unwritten(10, 0xFF);
    ASSERT_EQ(orvo->ReadFlash(DfuPreparation::DateStampAddress, 10), unwritten);
    EXPECT_TRUE(RunMonitored(elsewhere, [&] { return WriteDateStamp(elsewhere); }));
    EXPECT_NE(otherOrvo->ReadFlash(DfuPreparation::DateStampAddress, 10), unwritten);
    EXPECT_EQ(orvo->ReadFlash(DfuPreparation::DateStampAddress, 10), unwritten);
    EXPECT_TRUE(box.Messages().empty());
    EXPECT_EQ(otherOrvo->ProtocolViolations(), 0u);
    other.bus.UnplugAll();
}

TEST_F(VirtualOrvoUpdate, RejectsAnotherProductAndCannotReadAnUnpluggedOne) {
    VirtualOrvoConfig other;
    other.productName = "Orvox";
    other.identityText = "not a number";
    Plug(other);
    EXPECT_EQ(Identify(), IdentifyResult::Rejected);
    EXPECT_EQ(device.DeviceProductName.Get(), "Orvox");

    bus.UnplugAll();
    EXPECT_EQ(Identify(), IdentifyResult::Unreadable);
    EXPECT_EQ(bar.Text(), "Unable to read the memory map of the device...");
    EXPECT_TRUE(device.DeviceSerial.Empty());
}

TEST_F(VirtualOrvoUpdate, DatabaseAndDateStampAreWrittenAndReadBackUnchanged) {
    Plug();
    ASSERT_EQ(Identify(), IdentifyResult::Accepted);
    PrepareDatabase(6000);
    const std::vector<std::uint8_t> packed = ReadBytes(Base() + ".bin");
    ASSERT_GT(packed.size(), kOrvoSectorSize);  // spans sectors and many transfers

    const std::string before = TodayStamp();
    EXPECT_TRUE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    EXPECT_EQ(bar.Text(), "100%");
    EXPECT_TRUE(RunMonitored([&] { return WriteDateStamp(device); }));

    EXPECT_EQ(ReadBack(DfuPreparation::DatabaseAddress, static_cast<std::uint32_t>(packed.size())), packed);
    const auto date = ReadBack(DfuPreparation::DateStampAddress, 10);
    const std::string dateText(date.begin(), date.end());
    EXPECT_TRUE(dateText == before || dateText == TodayStamp()) << dateText;
    EXPECT_EQ(dateText.substr(8), "\r\n");
    // Neither write touched the identity block's sector.
    EXPECT_EQ(Identify(), IdentifyResult::Accepted);
    EXPECT_EQ(device.DeviceSerial.Get(), "OR12345");

    EXPECT_FALSE(std::filesystem::exists(folder.File("Date.bin")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("Date.dfu")));
    EXPECT_TRUE(box.Messages().empty());
}

TEST_F(VirtualOrvoUpdate, PercentReachesTheBarOnlyWhenShown) {
    Plug();
    PrepareDatabase(6000);
    orvo->SetTiming(OrvoTiming::Scaled(0.05));  // slow enough for the monitor to see passes under way

    EXPECT_TRUE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    const std::vector<int> positions = bar.Positions();
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_EQ(positions.back(), 100);
    EXPECT_EQ(bar.BarColour(), Rgb(0, 128, 0));

    RecordingProgressBar quiet;
    device.Events.Unsubscribe(display);
    CycleDisplay quietDisplay(device.Events, quiet, box, signals);
    signals.ShowProgress = 0;
    EXPECT_TRUE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    EXPECT_TRUE(quiet.Positions().empty());
    EXPECT_EQ(quiet.Texts(), std::vector<std::string>{"100%"});
}

TEST_F(VirtualOrvoUpdate, DeviceErrorDuringTheWriteIsReportedAndTheNextWriteWorks) {
    Plug();
    PrepareDatabase(3000);
    orvo->FailAt(OrvoRequestKind::Program, 3, dfu::errPROG);

    EXPECT_FALSE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: DFU error\n");
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_NE(box.Messages()[0].find("Operation: UPGRADE\n"), std::string::npos);
    EXPECT_NE(box.Messages()[0].find("DFU Status: STATUS_errPROG\n"), std::string::npos);
    EXPECT_EQ(device.OperationHandle.load(), 0u);
    EXPECT_EQ(device.KeptImage.load(), 0u);

    orvo->ClearFaults();
    EXPECT_TRUE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    const auto packed = ReadBytes(Base() + ".bin");
    EXPECT_EQ(ReadBack(DfuPreparation::DatabaseAddress, static_cast<std::uint32_t>(packed.size())), packed);
}

TEST_F(VirtualOrvoUpdate, DeviceUnpluggedDuringTheWriteReleasesTheWorker) {
    Plug();
    PrepareDatabase(3000);
    orvo->UnplugAt(OrvoRequestKind::Program, 2);
    EXPECT_FALSE(RunMonitored([&] { return device.UpgradeDevice(Base()); }));
    EXPECT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(device.OperationHandle.load(), 0u);
    orvo.reset();  // gone: its violations no longer matter
}

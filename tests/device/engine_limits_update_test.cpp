// What the user sees, and whether the worker is released, when the device
// hangs or the image holds nothing: the device operations over the real
// engine and a virtual Orvo, with the monitor ticking.

#include <gtest/gtest.h>

#include "device/dfu/dfu_files_format.h"
#include "operation_fixture.h"
#include "support/virtual_bus_engine.h"

namespace {

// The device below hangs for ever: a short limit changes how long the test
// takes, not what it sees.
DfuEngineSettings ShortBusyLimit() {
    DfuEngineSettings settings = FastEngineSettings();
    settings.busyLimitMs = 1000;  // far above any sound request, even under a sanitizer
    return settings;
}

class EngineLimitsUpdate : protected VirtualBusEngine, public OperationFixture {
protected:
    EngineLimitsUpdate() : VirtualBusEngine(ShortBusyLimit()), OperationFixture(library, bus) {
        orvo = std::make_shared<VirtualOrvo>();
        bus.Plug(orvo);
        EXPECT_TRUE(device.FindDeviceNow());
    }
    ~EngineLimitsUpdate() override {
        bus.UnplugAll();
    }

    // A DFU file with one image for alternate setting 1; returns its base name.
    std::string WriteDfu(std::vector<DfuImageElementData> elements) {
        DfuFileContents contents;
        contents.images.push_back({1, "", std::move(elements)});
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(DfuFileFormat::Serialize(contents, bytes));
        const std::string base = folder.File("image");
        WriteBytes(base + ".dfu", bytes);
        return base;
    }

    bool Upgrade(const std::string& base) {
        return RunMonitored([&] { return device.UpgradeDevice(base); });
    }

    std::string OnlyMessage() const {
        const auto messages = box.Messages();
        EXPECT_EQ(messages.size(), 1u);
        return messages.empty() ? std::string() : messages.front();
    }

    std::shared_ptr<VirtualOrvo> orvo;
};

TEST_F(EngineLimitsUpdate, DeviceBusyForEverIsReportedAndReleasesTheWorker) {
    const std::string base = WriteDfu({{0x00510000, PatternBytes(20000, 1)}});
    orvo->BusyForeverAt(OrvoRequestKind::Program, 4);
    EXPECT_FALSE(Upgrade(base));

    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Retry error\n");
    EXPECT_EQ(bar.BarColour(), Rgb(255, 0, 0));
    const std::string report = OnlyMessage();
    EXPECT_NE(report.find("Operation: UPGRADE\n"), std::string::npos) << report;
    EXPECT_NE(report.find("DFU State: STATE_DFU_DOWNLOAD_BUSY\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Request: Get Status Request. \n"), std::string::npos) << report;
    EXPECT_NE(report.find("CurrentNBlock: 0x0006\n"), std::string::npos) << report;
    EXPECT_EQ(device.OperationHandle.load(), 0u);
    EXPECT_EQ(device.KeptImage.load(), 0u);
}

TEST_F(EngineLimitsUpdate, DeviceThatStopsAnsweringIsReportedAndCannotBeIdentified) {
    const std::string base = WriteDfu({{0x00510000, PatternBytes(20000, 2)}});
    orvo->NoAnswerFrom(OrvoRequestKind::Erase, 0);
    EXPECT_FALSE(Upgrade(base));
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Retry error\n");
    EXPECT_EQ(device.OperationHandle.load(), 0u);

    signals.ShowProgress = 0;
    IdentifyResult result = IdentifyResult::Accepted;
    RunMonitored([&] {
        result = device.IdentifyDevice("Orvo");
        return true;
    });
    EXPECT_EQ(result, IdentifyResult::Unreadable);
    EXPECT_TRUE(device.DeviceSerial.Empty());
}

TEST_F(EngineLimitsUpdate, ImageWithOnlyAnEmptyElementIsAnErrorAndTouchesNothing) {
    orvo->WriteFlash(0x00510000, {0x12, 0x34});
    const std::string base = WriteDfu({{0x00510000, {}}});
    EXPECT_FALSE(Upgrade(base));
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Bad parameter\n");
    EXPECT_NE(bar.Text(), "100%");
    EXPECT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(orvo->Stats().requests, 0u);
    EXPECT_EQ(orvo->ReadFlash(0x00510000, 2), (std::vector<std::uint8_t>{0x12, 0x34}));
}

}  // namespace

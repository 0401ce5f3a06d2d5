// The connect test and the date stamp through the product's own DFU files,
// over a library whose device memory the test sets and reads.

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include "database/dfu_preparation.h"
#include "device/identity_block.h"
#include "fake_dfu_library.h"
#include "operation_fixture.h"
#include "support/recording_events.h"
#include "support/today.h"

namespace {

std::vector<std::uint8_t> Block(const std::string& idText, const std::vector<std::uint8_t>& product) {
    std::vector<std::uint8_t> block(kIdentityBlockSize, 0xFF);
    std::memcpy(block.data(), "B7K2Q9Z", 8);
    std::memcpy(block.data() + 8, idText.data(), idText.size());
    block[8 + idText.size()] = 0;
    std::copy(product.begin(), product.end(), block.begin() + 40);
    return block;
}

std::vector<std::uint8_t> Text(const char* text) { return {text, text + std::strlen(text) + 1}; }

}  // namespace

class DeviceIdentification : protected WithFakeDfuLibrary, public OperationFixture {
protected:
    DeviceIdentification() : OperationFixture(library) {
        signals.ShowProgress = 0;  // as the worker has it during identification
    }
    ~DeviceIdentification() override {
        device.ReleaseOperationResources();
        EXPECT_EQ(library.Misuses(), 0);
        EXPECT_EQ(library.LiveImages(), 0);
        EXPECT_FALSE(std::filesystem::exists(folder.File("connectTest.bin")));
        EXPECT_FALSE(std::filesystem::exists(folder.File("connectTest.dfu")));
    }

    IdentifyResult Identify(const std::vector<std::uint8_t>& block) {
        library.WriteFlash(kIdentityBlockAddress, block);
        IdentifyResult result = IdentifyResult::Unreadable;
        RunMonitored([&] {
            result = device.IdentifyDevice("Orvo");
            return true;
        });
        return result;
    }
};

TEST_F(DeviceIdentification, ReadsTheBlockThroughTheConnectTestFile) {
    EXPECT_EQ(Identify(Block("plain text", Text("Orvo"))), IdentifyResult::Accepted);
    EXPECT_EQ(device.DeviceSerial.Get(), "B7K2Q9Z");
    EXPECT_EQ(device.DeviceIdText.Get(), "plain text");
    EXPECT_EQ(device.DeviceProductName.Get(), "Orvo");

    // The request: one image for alternate setting 1, one element of eight
    // zeros and 48 spaces at the identity block.
    const auto images = library.FileImages(folder.File("connectTest.dfu"));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].alternate, 1);
    ASSERT_EQ(images[0].elements.size(), 1u);
    EXPECT_EQ(images[0].elements[0].address, kIdentityBlockAddress);
    const std::string request(images[0].elements[0].data.begin(), images[0].elements[0].data.end());
    EXPECT_EQ(request, "00000000" + std::string(48, ' '));

    EXPECT_EQ(library.Launched(), std::vector<std::int32_t>{OPERATION_UPLOAD});
    EXPECT_NE(bar.Text(), "Verify successful !");  // quiet while identifying
}

TEST_F(DeviceIdentification, Verdicts) {
    EXPECT_EQ(Identify(Block("x", {'O', 'r', 'v', 'o', 0xFF, 0xFF, 0})), IdentifyResult::Accepted);
    EXPECT_EQ(Identify(Block("R0123456789012345678", Text("Other"))), IdentifyResult::Accepted);
    EXPECT_EQ(Identify(Block("R012345678901234567", Text("Other"))), IdentifyResult::Rejected);
    EXPECT_EQ(Identify(Block("R0123456789012345678", Text("orvo"))), IdentifyResult::Accepted);
    EXPECT_EQ(Identify(Block("hello", Text("ORVO"))), IdentifyResult::Rejected);
    EXPECT_EQ(Identify(std::vector<std::uint8_t>(kIdentityBlockSize, 0xFF)), IdentifyResult::Rejected);
    EXPECT_EQ(device.DeviceSerial.Get(), std::string(7, '\xFF'));
    EXPECT_TRUE(box.Messages().empty());
}

TEST_F(DeviceIdentification, BlockWithoutNulFromByteEight) {
    std::vector<std::uint8_t> block(kIdentityBlockSize, '5');
    std::memcpy(block.data(), "ABCDEFG", 8);
    block[8] = 'Q';
    block[30] = 0xFF;
    EXPECT_EQ(Identify(block), IdentifyResult::Accepted);  // 'Q' and digits, through the product bytes
    EXPECT_EQ(device.DeviceIdText.Get(), "Q" + std::string(46, '5'));
    EXPECT_EQ(device.DeviceProductName.Get(), std::string(16, '5'));
}

TEST_F(DeviceIdentification, FailedReadNeverPassesOnTheLastIdentity) {
    EXPECT_EQ(Identify(Block("x", Text("Orvo"))), IdentifyResult::Accepted);

    library.failure[OPERATION_UPLOAD] = {0, STDFU_DFU_ERROR};
    EXPECT_EQ(Identify(Block("x", Text("Orvo"))), IdentifyResult::Unreadable);
    EXPECT_TRUE(device.DeviceSerial.Empty());
    EXPECT_TRUE(device.DeviceIdText.Empty());
    EXPECT_TRUE(device.DeviceProductName.Empty());
    EXPECT_EQ(bar.Text(), "Target 01: Error Code: DFU error\n");

    library.failure.clear();
    library.mappingResult = STDFU_UNEXPECTED_ERROR;
    EXPECT_EQ(Identify(Block("x", Text("Orvo"))), IdentifyResult::Unreadable);
    EXPECT_TRUE(device.DeviceProductName.Empty());
}

TEST_F(DeviceIdentification, ConnectTestFileThatCannotBeCreated) {
    CDfuDevice elsewhere(folder.File("missing/orvo-updater"), library);
    elsewhere.AttachSignals(&signals);
    CycleDisplay elsewhereDisplay(elsewhere.Events, bar, box, signals);
    RecordingEvents events(elsewhere.Events);
    elsewhere.DeviceProductName.Set("Orvo");
    EXPECT_EQ(elsewhere.IdentifyDevice("Orvo"), IdentifyResult::Unreadable);
    EXPECT_EQ(elsewhere.ConnectTest(), -1);
    EXPECT_TRUE(elsewhere.DeviceProductName.Empty());
    EXPECT_EQ(box.Messages(), (std::vector<std::string>(2, "IoError 00000002h")));
    // The box is the window's view of an error every listener hears of.
    const auto errors = events.Of<CycleEvents::Error>();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].kind, CycleErrorKind::WorkingFiles);
    EXPECT_EQ(errors[0].shown, ErrorShown::InBox);
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
}

// ---------------------------------------------------------------------------
// The date stamp's device write

class DateStamp : protected WithFakeDfuLibrary, public OperationFixture {
protected:
    DateStamp() : OperationFixture(library) {}
    ~DateStamp() override {
        device.ReleaseOperationResources();
        EXPECT_EQ(library.Misuses(), 0);
        EXPECT_EQ(library.LiveImages(), 0);
        EXPECT_FALSE(std::filesystem::exists(folder.File("Date.bin")));
        EXPECT_FALSE(std::filesystem::exists(folder.File("Date.dfu")));
    }
};

TEST_F(DateStamp, TodayGoesIntoTheDevice) {
    const std::string before = TodayStamp();
    EXPECT_TRUE(RunMonitored([this] { return device.WriteDateStamp(); }));
    const auto written = library.ReadFlash(DfuPreparation::DateStampAddress, 10);
    const std::string date(written.begin(), written.end());
    EXPECT_TRUE(date == before || date == TodayStamp()) << date;  // midnight may pass
    EXPECT_EQ(date.substr(8), "\r\n");
    EXPECT_EQ(library.Launched(), (std::vector<std::int32_t>{OPERATION_ERASE, OPERATION_UPGRADE}));
}

TEST_F(DateStamp, FailedDeviceWriteIsReported) {
    library.failure[OPERATION_UPGRADE] = {50, STDFU_DFU_ERROR};
    EXPECT_FALSE(RunMonitored([this] { return device.WriteDateStamp(); }));
}

TEST_F(DateStamp, DateFileThatCannotBeCreated) {
    CDfuDevice elsewhere(folder.File("missing/orvo-updater"), library);
    elsewhere.AttachSignals(&signals);
    CycleDisplay elsewhereDisplay(elsewhere.Events, bar, box, signals);
    EXPECT_FALSE(elsewhere.WriteDateStamp());
    EXPECT_TRUE(library.Launched().empty());

    // A stale DFU file of an earlier run is not written when the new one
    // cannot be completed.
    ORVO_SKIP_WITHOUT(FileSizeLimit);
    WriteBytes(folder.File("Date.dfu"), {0xAA});
    {
        FileSizeLimit fullDisk(40);
        EXPECT_FALSE(device.WriteDateStamp());
    }
    EXPECT_TRUE(library.Launched().empty());
}

// A request file that cannot be made into an image must not leave its
// element list behind: every later DFU file (the next request, the database)
// would be built from it too.
TEST_F(DeviceIdentification, FailedRequestLeavesNothingForTheNextFile) {
    device.ElementEntries.push_back({0x004F0000, 56, folder.File("gone.bin")});
    EXPECT_EQ(Identify(Block("plain text", Text("Orvo"))), IdentifyResult::Unreadable);
    EXPECT_TRUE(device.ElementEntries.empty());
    EXPECT_TRUE(device.Images.empty());
    EXPECT_EQ(Identify(Block("plain text", Text("Orvo"))), IdentifyResult::Accepted);
}

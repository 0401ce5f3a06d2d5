// The connect test and the date stamp, each a region of device memory read or
// written by one monitored operation, over a library whose device memory the
// test sets and reads.

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
#include "update/device_database.h"

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

TEST_F(DeviceIdentification, ReadsTheBlockInOneRead) {
    RecordingEvents events(device.Events);
    EXPECT_EQ(Identify(Block("plain text", Text("Orvo"))), IdentifyResult::Accepted);
    EXPECT_EQ(device.DeviceSerial.Get(), "B7K2Q9Z");
    EXPECT_EQ(device.DeviceIdText.Get(), "plain text");
    EXPECT_EQ(device.DeviceProductName.Get(), "Orvo");

    EXPECT_EQ(library.Launched(), std::vector<std::int32_t>{OPERATION_UPLOAD});
    const auto started = events.Of<CycleEvents::OperationStarted>();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].operation, DeviceOperation::IdentityRead);
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

// Nothing is written to disk for the read: a program folder that cannot take
// a file changes nothing.
TEST_F(DeviceIdentification, NeedsNoWritableFolder) {
    CDfuDevice elsewhere(folder.File("missing/orvo-updater"), library);
    elsewhere.AttachSignals(&signals);
    elsewhere.DevicePath.Set(device.DevicePath.Get());
    CycleDisplay elsewhereDisplay(elsewhere.Events, bar, box, signals);
    library.WriteFlash(kIdentityBlockAddress, Block("x", Text("Orvo")));
    IdentifyResult result = IdentifyResult::Unreadable;
    RunMonitored(elsewhere, [&] {
        result = elsewhere.IdentifyDevice("Orvo");
        return true;
    });
    elsewhere.ReleaseOperationResources();
    EXPECT_EQ(result, IdentifyResult::Accepted);
    EXPECT_EQ(elsewhere.DeviceSerial.Get(), "B7K2Q9Z");
    EXPECT_TRUE(box.Messages().empty());
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
    EXPECT_TRUE(RunMonitored([this] { return WriteDateStamp(device); }));
    const auto written = library.ReadFlash(DfuPreparation::DateStampAddress, 10);
    const std::string date(written.begin(), written.end());
    EXPECT_TRUE(date == before || date == TodayStamp()) << date;  // midnight may pass
    EXPECT_EQ(date.substr(8), "\r\n");
    EXPECT_EQ(library.Launched(), (std::vector<std::int32_t>{OPERATION_ERASE, OPERATION_UPGRADE}));
}

// A stamp that cannot go in never leaves a date behind that looks current:
// one the device's map refuses leaves the old stamp untouched (nothing was
// erased), and one whose programming fails leaves none at all.
TEST_F(DateStamp, FailedDeviceWriteLeavesNoNewLookingDate) {
    const std::vector<std::uint8_t> old{'0', '1', '.', '0', '2', '.', '2', '6', '\r', '\n'};
    library.WriteFlash(DfuPreparation::DateStampAddress, old);
    library.filterResult[OPERATION_UPGRADE] = STDFU_BAD_PARAMETER;
    EXPECT_FALSE(RunMonitored([this] { return WriteDateStamp(device); }));
    EXPECT_TRUE(library.Launched().empty());
    EXPECT_EQ(library.ReadFlash(DfuPreparation::DateStampAddress, 10), old);

    library.filterResult.clear();
    library.failure[OPERATION_UPGRADE] = {50, STDFU_DFU_ERROR};
    EXPECT_FALSE(RunMonitored([this] { return WriteDateStamp(device); }));
    EXPECT_EQ(library.Launched(), (std::vector<std::int32_t>{OPERATION_ERASE, OPERATION_UPGRADE}));
    EXPECT_EQ(library.ReadFlash(DfuPreparation::DateStampAddress, 10), std::vector<std::uint8_t>(10, 0xFF));
}

// The stamp goes straight into the device: a program folder that cannot take
// a file does not keep it out.
TEST_F(DateStamp, NeedsNoWorkingFile) {
    CDfuDevice elsewhere(folder.File("missing/orvo-updater"), library);
    elsewhere.AttachSignals(&signals);
    elsewhere.DevicePath.Set(device.DevicePath.Get());
    EXPECT_TRUE(RunMonitored(elsewhere, [&] { return WriteDateStamp(elsewhere, "24.12.26\r\n"); }));
    elsewhere.ReleaseOperationResources();
    const auto written = library.ReadFlash(DfuPreparation::DateStampAddress, 10);
    EXPECT_EQ(std::string(written.begin(), written.end()), "24.12.26\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
}

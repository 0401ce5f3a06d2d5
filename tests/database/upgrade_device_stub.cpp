// TEST-ONLY stand-in for CDfuDevice::UpgradeDevice, with the date stamp tests
// that rely on it. Delete this whole file once src/device/dfu_operations.cpp
// defines UpgradeDevice (the two definitions would clash at link time).
#include <gtest/gtest.h>

#include "database/dfu_preparation.h"
#include "device/dfu_device.h"
#include "device/dfu_files_format.h"
#include "device/dfu_image_store.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"

namespace {

// What the stand-in saw when the date stamp asked for the device write.
struct UpgradeDeviceCall {
    std::string base;
    std::vector<std::uint8_t> binBytes;
    std::vector<std::uint8_t> dfuBytes;
};

std::vector<UpgradeDeviceCall> g_upgradeCalls;
bool g_upgradeResult = true;

}  // namespace

bool CDfuDevice::UpgradeDevice(const std::string& base) {
    g_upgradeCalls.push_back({base, ReadBytes(base + ".bin"), ReadBytes(base + ".dfu")});
    return g_upgradeResult;
}

namespace {

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    return DfuPreparation::DateStampBytes(today);
}

class DateStampTest : public ::testing::Test {
protected:
    DateStampTest() : folder_("date_stamp"), device_(folder_.File("orvo-updater")) {
        device_.AttachUi(nullptr, &messages_, nullptr);
        g_upgradeCalls.clear();
        g_upgradeResult = true;
    }
    ScratchFolder folder_;
    RecordingMessageBox messages_;
    CDfuDevice device_;
};

}  // namespace

TEST_F(DateStampTest, MakesTheDateFilesWritesThemAndRemovesThem) {
    const std::size_t liveBefore = DfuImageStore::LiveCount();
    const std::string before = Today();
    EXPECT_TRUE(device_.WriteDateStamp());

    ASSERT_EQ(g_upgradeCalls.size(), 1u);
    const auto& call = g_upgradeCalls[0];
    EXPECT_EQ(call.base, folder_.File("Date"));
    const std::string date(call.binBytes.begin(), call.binBytes.end());
    ASSERT_EQ(date.size(), 10u);
    EXPECT_TRUE(date == before || date == Today()) << date;  // midnight may pass
    EXPECT_EQ(date.substr(8), "\r\n");

    const DfuFileParse parsed = DfuFileFormat::Parse(call.dfuBytes);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    DfuFileContents expected;
    expected.images.push_back({1, "", {{0x004E0000, call.binBytes}}});
    EXPECT_EQ(parsed.contents, expected);

    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.bin")));
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.dfu")));
    EXPECT_TRUE(device_.ElementEntries.empty());
    EXPECT_TRUE(device_.Images.empty());
    EXPECT_EQ(DfuImageStore::LiveCount(), liveBefore);
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(DateStampTest, ReportsAFailedDeviceWrite) {
    g_upgradeResult = false;
    EXPECT_FALSE(device_.WriteDateStamp());
    EXPECT_EQ(g_upgradeCalls.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.bin")));
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.dfu")));
}

TEST_F(DateStampTest, NothingReachesTheDeviceWhenTheFilesCannotBeMade) {
    CDfuDevice nowhere(folder_.File("no/such/folder/orvo-updater"));
    nowhere.AttachUi(nullptr, &messages_, nullptr);
    EXPECT_FALSE(nowhere.WriteDateStamp());
    EXPECT_TRUE(g_upgradeCalls.empty());

    // A stale DFU file of an earlier run is not written when the new one
    // cannot be completed.
    WriteBytes(folder_.File("Date.dfu"), {0xAA});
    {
        FileSizeLimit fullDisk(40);
        EXPECT_FALSE(device_.WriteDateStamp());
    }
    EXPECT_TRUE(g_upgradeCalls.empty());
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.bin")));
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Date.dfu")));
}

#include <gtest/gtest.h>

#include <filesystem>

#include "conversion_fixture.h"
#include "database/database_conversion.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_files_format.h"
#include "database_generator.h"
#include "support/recording_ports.h"

namespace {

class PrepareDatabase : public ::testing::Test {
protected:
    PrepareDatabase() : device(folder.Path() + "orvo-updater") { device.AttachUi(nullptr, &messages, nullptr); }
    void TearDown() override { EXPECT_TRUE(BufferFilesIn(folder.Path()).empty()); }

    void WriteText(std::size_t records) {
        DatabaseGeneratorOptions options;
        options.records = records;
        options.lineBreaks = true;
        WriteFileBytes(base + ".txt", GenerateDatabaseText(options));
    }
    void LeaveFilesOfAnEarlierRun() {
        WriteFileBytes(base + ".bin", "stale");
        WriteFileBytes(base + ".dfu", "stale");
    }

    TempFolder folder;
    RecordingMessageBox messages;
    CDfuDevice device;
    const std::string base = folder.Base();
};

TEST_F(PrepareDatabase, WrapsThePackedDatabaseIntoOneElementAtItsAddress) {
    LeaveFilesOfAnEarlierRun();
    WriteText(1000);
    ASSERT_EQ(device.PrepareDatabase(base), base);

    const std::string packed = ReadFileBytes(base + ".bin");
    EXPECT_EQ(packed.size(), 5u + 14u * 1000u);
    const std::string dfu = ReadFileBytes(base + ".dfu");
    const DfuFileParse parsed =
        DfuFileFormat::Parse({reinterpret_cast<const std::uint8_t*>(dfu.data()), dfu.size()});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.contents.vendorId, 0);
    EXPECT_EQ(parsed.contents.productId, 0);
    EXPECT_EQ(parsed.contents.bcdDevice, 0);
    ASSERT_EQ(parsed.contents.images.size(), 1u);
    const DfuImageData& image = parsed.contents.images[0];
    EXPECT_EQ(image.alternateSetting, 1);
    EXPECT_EQ(image.name, "");
    ASSERT_EQ(image.elements.size(), 1u);
    EXPECT_EQ(image.elements[0].address, 0x00510000u);
    EXPECT_TRUE(std::string(image.elements[0].data.begin(), image.elements[0].data.end()) == packed);
    EXPECT_TRUE(device.ElementEntries.empty());
    EXPECT_TRUE(device.Images.empty());
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(PrepareDatabase, MissingTextGivesDbErrorAndNoOtherFile) {
    LeaveFilesOfAnEarlierRun();
    EXPECT_EQ(device.PrepareDatabase(base), "DB FILE OPEN ERROR");
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

TEST_F(PrepareDatabase, UnreadableTextGivesDbError) {
    std::filesystem::create_directory(base + ".txt");
    EXPECT_EQ(device.PrepareDatabase(base), "DB FILE OPEN ERROR");
}

TEST_F(PrepareDatabase, TextWithoutRecordsLeavesNoStaleDatabaseBehind) {
    LeaveFilesOfAnEarlierRun();
    WriteFileBytes(base + ".txt", "<html>Service unavailable</html>");
    EXPECT_EQ(device.PrepareDatabase(base), "");
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

TEST_F(PrepareDatabase, BufferFolderThatCannotBeWrittenGivesBinError) {
    CDfuDevice elsewhere(folder.Path() + "missing/orvo-updater");
    WriteText(10);
    EXPECT_EQ(elsewhere.PrepareDatabase(base), "BIN FILE OPEN ERROR");
    EXPECT_FALSE(FileExists(base + ".bin"));
}

TEST_F(PrepareDatabase, DfuFileThatCannotBeMadeIsAFailureNotTheBase) {
    // A folder in the DFU file's place cannot be removed or written.
    std::filesystem::create_directories(base + ".dfu/occupied");
    WriteText(10);
    EXPECT_EQ(device.PrepareDatabase(base), ConversionResult::DfuFileError);
    EXPECT_TRUE(device.ElementEntries.empty());
    EXPECT_TRUE(device.Images.empty());
}

}  // namespace

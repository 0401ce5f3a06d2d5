#include <gtest/gtest.h>

#include "database/dfu_preparation.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_image_store.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"

namespace {

// A builder in a scratch folder, with its message boxes recorded.
class DfuPreparationTest : public ::testing::Test {
protected:
    // In a folder whose name is not ASCII, as a user's data folder may be.
    DfuPreparationTest() : folder_(std::string("dfu_preparation_") + kNonAsciiName) {
        liveImages_ = DfuImageStore::LiveCount();
    }
    ~DfuPreparationTest() override {
        // Every path releases the images it built.
        EXPECT_EQ(DfuImageStore::LiveCount(), liveImages_);
    }

    std::string MakePlainFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = folder_.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    DfuFileParse ParseFile(const std::string& path) { return DfuFileFormat::Parse(ReadBytes(path)); }

    ScratchFolder folder_;
    CycleEventChannel events_;
    RecordedBoxes messages_{events_};
    DfuFileBuilder builder_{events_};
    std::size_t liveImages_ = 0;
};

}  // namespace

TEST_F(DfuPreparationTest, DatabaseFileBecomesOneImageWithOneElement) {
    std::vector<std::uint8_t> packed(70001);
    for (std::size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<std::uint8_t>(i * 7);
    const std::string bin = MakePlainFile("tesselDB.bin", packed);
    const std::string dfu = folder_.File("tesselDB.dfu");

    builder_.AddElementFile(bin, DfuPreparation::DatabaseAddress);
    ASSERT_EQ(builder_.ElementEntries.size(), 1u);
    EXPECT_EQ(builder_.ElementEntries[0], (DfuElementEntry{0x00510000, 70001, bin}));
    EXPECT_TRUE(builder_.BuildImage(1));
    EXPECT_EQ(builder_.Images.size(), 1u);
    EXPECT_TRUE(builder_.WriteDfuFile(dfu));

    EXPECT_TRUE(builder_.ElementEntries.empty());
    EXPECT_TRUE(builder_.Images.empty());
    EXPECT_TRUE(messages_.Messages().empty());
    const DfuFileParse parsed = ParseFile(dfu);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    DfuFileContents expected;  // vendor, product and release 0
    expected.images.push_back({1, "", {{0x00510000, packed}}});
    EXPECT_EQ(parsed.contents, expected);
}

TEST_F(DfuPreparationTest, EmptyPlainFileGivesAnEmptyElement) {
    const std::string bin = MakePlainFile("empty.bin", {});
    builder_.AddElementFile(bin, 0x00510000);
    ASSERT_EQ(builder_.ElementEntries.size(), 1u);
    EXPECT_EQ(builder_.ElementEntries[0], (DfuElementEntry{0x00510000, 0, bin}));
    EXPECT_TRUE(builder_.BuildImage(1));
    EXPECT_TRUE(builder_.WriteDfuFile(folder_.File("empty.dfu")));
    const DfuFileParse parsed = ParseFile(folder_.File("empty.dfu"));
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(parsed.contents.images.at(0).elements.size(), 1u);
    EXPECT_TRUE(parsed.contents.images[0].elements[0].data.empty());
}

TEST_F(DfuPreparationTest, MissingPlainFileIsReportedAndRegistersNothing) {
    builder_.AddElementFile(folder_.File("missing.bin"), 0x00510000);
    EXPECT_EQ(messages_.Messages(), std::vector<std::string>{"IoError 00000002h"});
    EXPECT_TRUE(builder_.ElementEntries.empty());

    // Nothing registered: the image has no element, and building it says so;
    // the file itself is written with that image.
    EXPECT_FALSE(builder_.BuildImage(1));
    EXPECT_TRUE(builder_.WriteDfuFile(folder_.File("none.dfu")));
    const DfuFileParse parsed = ParseFile(folder_.File("none.dfu"));
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(parsed.contents.images.size(), 1u);
    EXPECT_TRUE(parsed.contents.images[0].elements.empty());
}

TEST_F(DfuPreparationTest, PlainFileGoneBeforeTheImageIsBuiltDropsTheImage) {
    const std::string bin = MakePlainFile("gone.bin", {1, 2, 3});
    builder_.AddElementFile(bin, 0x004E0000);
    std::filesystem::remove(Utf8Path(bin));

    EXPECT_FALSE(builder_.BuildImage(1));
    EXPECT_EQ(messages_.Messages(), std::vector<std::string>{"IoError 00000002h"});
    EXPECT_TRUE(builder_.Images.empty());
    // The DFU file is still made, without images, and the lists are emptied.
    EXPECT_FALSE(builder_.WriteDfuFile(folder_.File("gone.dfu")));
    EXPECT_TRUE(builder_.ElementEntries.empty());
    const DfuFileParse parsed = ParseFile(folder_.File("gone.dfu"));
    ASSERT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.contents.images.empty());
}

TEST_F(DfuPreparationTest, UnreadablePlainFileNeverGivesAnElement) {
    // A folder opens but cannot be read: a short read must not become data.
    builder_.ElementEntries.push_back({0x00510000, 1, Utf8String(folder_.Path())});
    EXPECT_FALSE(builder_.BuildImage(1));
    ASSERT_EQ(messages_.Messages().size(), 1u);
    EXPECT_EQ(messages_.Messages()[0].rfind("IoError ", 0), 0u);
    EXPECT_TRUE(builder_.Images.empty());
    builder_.ElementEntries.clear();
}

TEST_F(DfuPreparationTest, LongFileNameIsTakenWhole) {
    // A real file whose path is longer than 1000 characters, reached through
    // nested folders (a single name may hold at most 255): the entry keeps
    // its path as a value, so no cut makes it name another file.
    std::string path = Utf8String(folder_.Path());
    while (path.size() < 1100)
        path += "/" + std::string(100, 'd');
    std::filesystem::create_directories(Utf8Path(path));
    path += "/" + std::string(100, 'f');
    WriteBytes(path, {42});

    builder_.AddElementFile(path, 0x004F0000);
    EXPECT_TRUE(builder_.BuildImage(1));
    EXPECT_TRUE(builder_.WriteDfuFile(folder_.File("long.dfu")));
    EXPECT_TRUE(messages_.Messages().empty());
    const DfuFileParse parsed = ParseFile(folder_.File("long.dfu"));
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.contents.images.at(0).elements.at(0), (DfuImageElementData{0x004F0000, {42}}));
}

TEST_F(DfuPreparationTest, FailedDfuFileCreationEmptiesTheListsAndReleasesImages) {
    const std::string bin = MakePlainFile("db.bin", {1, 2, 3});
    builder_.AddElementFile(bin, 0x00510000);
    ASSERT_TRUE(builder_.BuildImage(1));
    EXPECT_FALSE(builder_.WriteDfuFile(folder_.File("no/such/folder.dfu")));
    EXPECT_TRUE(builder_.ElementEntries.empty());
    EXPECT_TRUE(builder_.Images.empty());
    EXPECT_TRUE(messages_.Messages().empty());
}

TEST_F(DfuPreparationTest, FullDiskLeavesNoDfuFile) {
    ORVO_SKIP_WITHOUT(FileSizeLimit);
    const std::string bin = MakePlainFile("db.bin", std::vector<std::uint8_t>(100000, 0x11));
    const std::string dfu = folder_.File("db.dfu");
    builder_.AddElementFile(bin, 0x00510000);
    ASSERT_TRUE(builder_.BuildImage(1));
    {
        FileSizeLimit fullDisk(8192);
        EXPECT_FALSE(builder_.WriteDfuFile(dfu));
    }
    EXPECT_FALSE(std::filesystem::exists(Utf8Path(dfu)));
    EXPECT_TRUE(builder_.Images.empty());
}

TEST(DateStamp, IsTheDateThenCarriageReturnAndLineFeed) {
    std::tm date{};
    date.tm_mday = 6;
    date.tm_mon = 11;
    date.tm_year = 126;
    EXPECT_EQ(DfuPreparation::DateStampBytes(date), "06.12.26\r\n");
    date.tm_mday = 31;
    date.tm_mon = 0;
    date.tm_year = 100;
    EXPECT_EQ(DfuPreparation::DateStampBytes(date), "31.01.00\r\n");
    EXPECT_EQ(DfuPreparation::DateStampBytes(date).size(), 10u);
}

TEST(DfuPreparationTexts, IoErrorFormat) {
    EXPECT_EQ(DfuPreparation::IoErrorText(13), "IoError 0000000dh");
}

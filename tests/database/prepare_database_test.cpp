#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "conversion_fixture.h"
#include "database/database_conversion.h"
#include "common/program_folder.h"
#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_files_format.h"
#include "database_generator.h"
#include "reference_conversion.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"

namespace {

class PrepareDatabase : public ::testing::Test {
protected:
    PrepareDatabase() : liveImages(DfuImageStore::LiveCount()) {}
    void TearDown() override {
        EXPECT_TRUE(BufferFilesIn(folder.Path()).empty());
        // Every path releases the images it built.
        EXPECT_EQ(DfuImageStore::LiveCount(), liveImages);
    }

    // With the buffer files beside the working files, as the updater has them.
    ConversionResult Prepare() { return ::PrepareDatabase(base, folder.Path(), events).result; }

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
    CycleEventChannel events;
    RecordedBoxes messages{events};
    const std::size_t liveImages;
    const std::string base = folder.Base();
};

TEST_F(PrepareDatabase, WrapsThePackedDatabaseIntoOneElementAtItsAddress) {
    LeaveFilesOfAnEarlierRun();
    WriteText(1000);
    ASSERT_EQ(Prepare(), ConversionResult::Success);

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
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(PrepareDatabase, MissingTextGivesDbErrorAndNoOtherFile) {
    LeaveFilesOfAnEarlierRun();
    EXPECT_EQ(Prepare(), ConversionResult::DbFileOpenError);
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

TEST_F(PrepareDatabase, UnreadableTextGivesDbError) {
    std::filesystem::create_directory(Utf8Path(base + ".txt"));
    EXPECT_EQ(Prepare(), ConversionResult::DbFileOpenError);
}

TEST_F(PrepareDatabase, TextWithoutRecordsLeavesNoStaleDatabaseBehind) {
    LeaveFilesOfAnEarlierRun();
    WriteFileBytes(base + ".txt", "<html>Service unavailable</html>");
    EXPECT_EQ(Prepare(), ConversionResult::NoRecords);
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

TEST_F(PrepareDatabase, BufferFolderThatCannotBeWrittenGivesBinError) {
    WriteText(10);
    EXPECT_EQ(::PrepareDatabase(base, folder.Path() + "missing/", events).result, ConversionResult::BinFileOpenError);
    EXPECT_FALSE(FileExists(base + ".bin"));
}

TEST_F(PrepareDatabase, DfuFileThatCannotBeMadeIsAFailureNotTheBase) {
    // A folder in the DFU file's place cannot be removed or written.
    std::filesystem::create_directories(Utf8Path(base + ".dfu/occupied"));
    WriteText(10);
    EXPECT_EQ(Prepare(), ConversionResult::DfuFileError);
}

// What PrepareDatabase leaves for an answer that is not a database: the
// empty result, as for an answer without any record, and no packed database
// or DFU file, not even one of an earlier run.
void ExpectRefusedAsNoDatabase(CycleEventChannel& events, const std::string& base, const std::string& junk) {
    // Without the rule the junk would convert: some of its records are valid.
    ASSERT_GT(ReferenceConvert(junk).validRecords, 0u) << "the sample holds no valid record by chance";
    WriteFileBytes(base + ".bin", "stale");
    WriteFileBytes(base + ".dfu", "stale");
    WriteFileBytes(base + ".txt", junk);
    EXPECT_EQ(::PrepareDatabase(base, ProgramFolderOf(base), events).result, ConversionResult::NoRecords);
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

std::string GzipOf(const TempFolder& folder, const std::string& bytes) {
    const std::string path = folder.Path() + "plain";
    WriteFileBytes(path, bytes);
    std::string packed;
    const ShellRun run = RunShell("gzip -c -9 '" + path + "'", 0);
    if (run.exitCode == 0)
        packed = run.output;
    std::filesystem::remove(Utf8Path(path));
    return packed;
}

std::string RandomBytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST_F(PrepareDatabase, AnswersThatAreNotADatabaseAreRefused) {
    {
        SCOPED_TRACE("png");
        const std::string png = ReadFileBytes(ORVO_SOURCE_DIR "/docs/screenshots/language-english.png");
        ASSERT_EQ(png.substr(1, 3), "PNG");
        ExpectRefusedAsNoDatabase(events, base, png);
    }
    {
        SCOPED_TRACE("random bytes");
        ExpectRefusedAsNoDatabase(events, base, RandomBytes(1 << 20, 11));
    }

    // A compressed database whose NUL bytes happen to cut out at least one
    // 13-character record: about one in two of these sizes does.
    ORVO_SKIP_WITHOUT(GzipCommand);
    std::string gzip;
    DatabaseGeneratorOptions options;
    options.records = 20000;
    for (options.seed = 1; options.seed <= 40 && ReferenceConvert(gzip).validRecords == 0; ++options.seed) {
        gzip = GzipOf(folder, GenerateDatabaseText(options));
        ASSERT_GT(gzip.size(), 1000u) << "gzip is not available";
    }
    SCOPED_TRACE("gzip");
    ExpectRefusedAsNoDatabase(events, base, gzip);
}

TEST_F(PrepareDatabase, RealDatabaseWithSomeBadRecordsStillConverts) {
    DatabaseGeneratorOptions options;
    options.records = 3000;
    const std::string rough = Roughen(GenerateDatabaseText(options), 5);
    const ReferenceResult expected = ReferenceConvert(rough);
    ASSERT_LT(expected.validRecords, expected.textRecords) << "the sample has no bad record";
    WriteFileBytes(base + ".txt", rough);
    ASSERT_EQ(Prepare(), ConversionResult::Success);
    EXPECT_TRUE(ReadFileBytes(base + ".bin") == expected.packed);
    EXPECT_TRUE(FileExists(base + ".dfu"));
}

TEST_F(PrepareDatabase, HalfTheRecordsValidIsADatabaseFewerIsNot) {
    // Bad records of every kind count: short, empty, too long, too long for
    // the record buffer; a final record without its NUL is no record at all.
    const std::string nul(1, '\0');
    const std::string valid = EncodedRecord(51, 30, 36, 0, 7, 12) + nul + EncodedRecord(40, 1, 2, 3, 4, 5) + nul;
    const std::string threeBad = "short" + nul + nul + std::string(400, 'H') + nul;
    const std::string twoBad = std::string(14, 'L') + nul + nul;

    WriteFileBytes(base + ".txt", valid + twoBad + "unterminated");
    EXPECT_EQ(Prepare(), ConversionResult::Success);
    EXPECT_EQ(ReadFileBytes(base + ".bin").size(), 5u + 2u * 14u);

    WriteFileBytes(base + ".txt", valid + threeBad);
    EXPECT_EQ(::PrepareDatabase(base, ProgramFolderOf(base), events).result, ConversionResult::NoRecords);
    EXPECT_FALSE(FileExists(base + ".bin"));
    EXPECT_FALSE(FileExists(base + ".dfu"));
}

}  // namespace

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "support/scratch_files.h"
#include "conversion_fixture.h"
#include "common/file_io.h"
#include "database/database_conversion.h"
#include "database_generator.h"

namespace {

const std::string kWorkedExample = "\xDB\xD5\xA8\xBD\x88\xCF\xDB\xD4\xDA\xD9\xD8\xD7\xD6";
const std::string kWorkedPacked("\x00\x07\xDC\x1C\x00\x00\x04\xAF\x01\x02\x03\x04\x05\x06", 14);
const std::string kNul(1, '\0');

std::string Header(std::uint32_t count) {
    std::string h;
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>((count >> shift) & 0xFF);
    return h + '\x01';
}

// The attribute byte 1 of every packed record, in file order.
std::vector<int> FirstAttributes(const std::string& packed) {
    std::vector<int> tags;
    for (std::size_t at = 5 + 8; at < packed.size(); at += 14)
        tags.push_back(static_cast<unsigned char>(packed[at]));
    return tags;
}

class Conversion : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(BufferFilesIn(folder.Path()).empty()); }
    TempFolder folder;
};

TEST_F(Conversion, EmptyTextGivesNoRecordsAndNoPackedFile) {
    const ProductRun run = ConvertText(folder, "");
    EXPECT_EQ(run.result, "");
    EXPECT_FALSE(run.packedExists);
}

TEST_F(Conversion, TextWithoutValidRecordGivesNoRecords) {
    const ProductRun run = ConvertText(folder, "short" + kNul + std::string(20, 'L') + kNul + "\r\n");
    EXPECT_EQ(run.result, "");
    EXPECT_FALSE(run.packedExists);
}

TEST_F(Conversion, OneRecordGivesNineteenBytes) {
    const ProductRun run = ConvertText(folder, kWorkedExample + kNul);
    EXPECT_EQ(run.result, "SUCCESS");
    EXPECT_EQ(run.packed, Header(1) + kWorkedPacked);
}

TEST_F(Conversion, CarriageReturnsAndLineFeedsAnywhereAreIgnored) {
    std::string spread;
    for (char c : kWorkedExample)
        spread += std::string("\r") + c + "\n";
    const ProductRun run = ConvertText(folder, "\r\n" + spread + kNul + "\r\n" + kWorkedExample + "\n" + kNul + "\n");
    EXPECT_EQ(run.packed, Header(2) + kWorkedPacked + kWorkedPacked);
}

TEST_F(Conversion, FinalRecordWithoutNulIsDropped) {
    const ProductRun run = ConvertText(folder, kWorkedExample + kNul + EncodedRecord(60, 1, 1, 1, 1, 1));
    EXPECT_EQ(run.packed, Header(1) + kWorkedPacked);
}

TEST_F(Conversion, OverlongRecordsAreDiscardedWholeNeverCut) {
    // 13 characters plus padding: 299 bytes before the NUL still fit the
    // record buffer; 300 do not, even though all but 13 are line ends.
    const std::string fits = kWorkedExample + std::string(286, '\r');
    const std::string overflows = kWorkedExample + std::string(287, '\n');
    const std::string fourteen = EncodedRecord(70, 0, 0, 0, 0, 0) + "Q";
    const std::string huge(100000, 'H');
    const ProductRun run = ConvertText(folder, fits + kNul + overflows + kNul + fourteen + kNul + huge + kNul);
    EXPECT_EQ(run.packed, Header(1) + kWorkedPacked);
}

TEST_F(Conversion, OrderIsDescendingCoord1ThenCoord2) {
    const std::string text = EncodedRecord(50, 0, 0, 1, 0, 0, 1) + kNul + EncodedRecord(52, 0, 0, 0, 0, 0, 2) + kNul +
                             EncodedRecord(50, 0, 0, 3, 0, 0, 3) + kNul + EncodedRecord(50, 0, 0, 2, 0, 0, 4) + kNul;
    EXPECT_EQ(FirstAttributes(ConvertText(folder, text).packed), (std::vector<int>{2, 3, 4, 1}));
}

TEST_F(Conversion, EqualKeysInOneListComeLatestReadFirst) {
    std::string text;
    for (std::uint8_t tag = 1; tag <= 4; ++tag)
        text += EncodedRecord(51, 30, 36, 0, 7, 12, tag) + kNul;
    EXPECT_EQ(FirstAttributes(ConvertText(folder, text).packed), (std::vector<int>{4, 3, 2, 1}));
}

TEST_F(Conversion, EqualHeadsInDifferentListsComeFromTheEarlierList) {
    // Record A opens buffer file 1, whose 5,001 further records all sort below
    // it; record B, equal to A, opens buffer file 2 and thus a later list.
    std::string text = EncodedRecord(60, 0, 0, 0, 0, 0, 7) + kNul;
    for (int i = 0; i < 5001; ++i)
        text += EncodedRecord(40, i / 3600, i / 60 % 60, i % 60, 0, 0, 1) + kNul;
    text += EncodedRecord(60, 0, 0, 0, 0, 0, 9) + kNul;
    const ProductRun run = ConvertText(folder, text);
    const std::vector<int> tags = FirstAttributes(run.packed);
    ASSERT_EQ(tags.size(), 5003u);
    EXPECT_EQ(tags[0], 7);
    EXPECT_EQ(tags[1], 9);
}

TEST_F(Conversion, SplitRuleFollowsTheDepthOfEachInsertion) {
    DatabaseGeneratorOptions options;
    options.order = RecordOrder::Descending;
    options.records = 102;  // the 102nd lands at position 101
    EXPECT_EQ(ConvertText(folder, GenerateDatabaseText(options)).lists, 2u);
    options.records = 101;
    EXPECT_EQ(ConvertText(folder, GenerateDatabaseText(options)).lists, 1u);
    options.order = RecordOrder::Ascending;
    options.records = 5002 * 2;  // one list per buffer file, and an empty third file
    EXPECT_EQ(ConvertText(folder, GenerateDatabaseText(options)).lists, 3u);
}

TEST_F(Conversion, EverythingAfterTheLastBufferFileIsIgnored) {
    DatabaseGeneratorOptions options;
    options.order = RecordOrder::Ascending;
    options.records = 150060;
    std::string text = GenerateDatabaseText(options);
    text += EncodedRecord(80, 0, 0, 0, 0, 0, 99) + kNul;  // the greatest key, but record 150,061
    const ProductRun run = ConvertText(folder, text);
    EXPECT_EQ(run.packed.substr(0, 5), Header(150060));
    EXPECT_EQ(run.packed.size(), 5u + 14u * 150060u);
    EXPECT_NE(FirstAttributes(run.packed).front(), 99);
}

TEST_F(Conversion, BufferFilesOfAnEarlierRunAreNeitherReadNorKept) {
    WriteFileBytes(folder.Path() + "FileBuffer02", EncodedRecord(70, 0, 0, 0, 0, 0) + kNul);
    WriteFileBytes(folder.Path() + "FileBuffer30", EncodedRecord(70, 0, 0, 0, 0, 0) + kNul);
    const ProductRun run = ConvertText(folder, kWorkedExample + kNul);
    EXPECT_EQ(run.packed, Header(1) + kWorkedPacked);
}

// --- failures: each gives its error text and leaves no buffer file behind

TEST_F(Conversion, BufferFileThatCannotBeCreatedEndsTheFirstPass) {
    const std::string missing = folder.Path() + "no/such/folder/";
    WriteFileBytes(folder.Base() + ".txt", kWorkedExample + kNul);
    std::FILE* text = OpenFile(folder.Base() + ".txt", "rb");
    DatabaseConversion conversion(missing);
    EXPECT_EQ(conversion.SplitDatabaseText(text), DatabaseConversion::SplitOutcome::BufferFileUnavailable);
    std::fclose(text);
}

TEST_F(Conversion, FullDiskWhileSplittingRemovesEveryBufferFile) {
    ORVO_SKIP_WITHOUT(FileSizeLimit);
    DatabaseGeneratorOptions options;
    options.records = 6000;  // reaches the second buffer file
    WriteFileBytes(folder.Base() + ".txt", GenerateDatabaseText(options));
    std::FILE* text = OpenFile(folder.Base() + ".txt", "rb");
    ASSERT_NE(text, nullptr);
    DatabaseConversion conversion(folder.Path());
    {
        const FileSizeLimit full(60000);  // a whole buffer file holds 70,028 bytes
        EXPECT_EQ(conversion.SplitDatabaseText(text), DatabaseConversion::SplitOutcome::BufferFileUnavailable);
    }
    std::fclose(text);
    EXPECT_EQ(conversion.FileError(), EFBIG);
    EXPECT_TRUE(BufferFilesIn(folder.Path()).empty());
}

// A link someone put where a working file goes is neither written through
// nor removed.
TEST_F(Conversion, LinksInPlaceOfWorkingFilesAreRefusedAndLeftAlone) {
    ORVO_SKIP_WITHOUT(SymbolicLinks);
    WriteFileBytes(folder.Path() + "victim", "keep");
    DatabaseGeneratorOptions options;
    options.records = 6000;
    for (const std::string& name : {std::string("FileBuffer02"), std::string("tesselDB.bin")}) {
        std::filesystem::create_symlink(Utf8Path(folder.Path() + "victim"), Utf8Path(folder.Path() + name));
        const ProductRun run = ConvertText(folder, GenerateDatabaseText(options));
        EXPECT_NE(run.result, "SUCCESS") << name;
        EXPECT_TRUE(std::filesystem::is_symlink(Utf8Path(folder.Path() + name))) << name;
        EXPECT_EQ(ReadFileBytes(folder.Path() + "victim"), "keep") << name;
        std::filesystem::remove(Utf8Path(folder.Path() + name));
    }
}

TEST_F(Conversion, UnreadableTextIsNotTakenForItsEnd) {
    ORVO_SKIP_WITHOUT(FolderOpensAsFile);
    std::filesystem::create_directory(Utf8Path(folder.Path() + "dir.txt"));
    std::FILE* text = OpenFile(folder.Path() + "dir.txt", "rb");
    ASSERT_NE(text, nullptr);
    DatabaseConversion conversion(folder.Path());
    EXPECT_EQ(conversion.SplitDatabaseText(text), DatabaseConversion::SplitOutcome::TextUnreadable);
    std::fclose(text);
}

TEST_F(Conversion, PackedFileThatCannotBeCreatedGivesBinError) {
    WriteFileBytes(folder.Base() + ".txt", kWorkedExample + kNul);
    std::FILE* text = OpenFile(folder.Base() + ".txt", "rb");
    DatabaseConversion conversion(folder.Path());
    ASSERT_EQ(conversion.SplitDatabaseText(text), DatabaseConversion::SplitOutcome::Done);
    std::fclose(text);
    EXPECT_EQ(conversion.SortDatabaseRecords(folder.Path() + "missing/tesselDB"), ConversionResult::BinFileOpenError);
}

TEST_F(Conversion, FullDiskWhileWritingThePackedFileLeavesNoPartialFile) {
    ORVO_SKIP_WITHOUT(FileSizeLimit);
    DatabaseGeneratorOptions options;
    options.records = 100;  // 1,400 bytes of buffer file, 1,405 of packed file
    ProductRun run;
    {
        const FileSizeLimit full(1402);
        run = ConvertText(folder, GenerateDatabaseText(options));
    }
    EXPECT_EQ(run.result, "BIN FILE OPEN ERROR");
    EXPECT_FALSE(run.packedExists);
}

TEST_F(Conversion, BufferFileLostBetweenThePassesIsAnErrorNotFewerRecords) {
    DatabaseGeneratorOptions options;
    options.records = 12000;
    WriteFileBytes(folder.Base() + ".txt", GenerateDatabaseText(options));
    std::FILE* text = OpenFile(folder.Base() + ".txt", "rb");
    DatabaseConversion conversion(folder.Path());
    ASSERT_EQ(conversion.SplitDatabaseText(text), DatabaseConversion::SplitOutcome::Done);
    std::fclose(text);
    EXPECT_EQ(conversion.BufferFilesCreated(), 3);
    std::filesystem::remove(Utf8Path(folder.Path() + "FileBuffer02"));
    EXPECT_EQ(conversion.SortDatabaseRecords(folder.Base()), ConversionResult::BinFileOpenError);
    EXPECT_FALSE(FileExists(folder.Base() + ".bin"));
}

// The results' texts are what orvo-tool convert prints and scripts read.
TEST(ConversionResults, EachResultKeepsItsText) {
    for (const auto& [result, text] : std::vector<std::pair<ConversionResult, std::string>>{
             {ConversionResult::Success, "SUCCESS"},
             {ConversionResult::NoRecords, ""},
             {ConversionResult::DbFileOpenError, "DB FILE OPEN ERROR"},
             {ConversionResult::BinFileOpenError, "BIN FILE OPEN ERROR"},
             {ConversionResult::DfuFileError, "DFU FILE ERROR"}})
        EXPECT_EQ(ConversionResultText(result), text);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>

#include "conversion_fixture.h"
#include "database/buffered_file.h"
#include "database/database_record.h"
#include "database/sorted_record_lists.h"

namespace {

const std::string kWorkedExample = "\xDB\xD5\xA8\xBD\x88\xCF\xDB\xD4\xDA\xD9\xD8\xD7\xD6";

// Reads every record of `bytes` through a real file, as the second pass does.
std::vector<int> ReadAll(const std::string& bytes, DatabaseRecord& record) {
    TempFolder folder;
    const std::string path = folder.Path() + "records";
    WriteFileBytes(path, bytes);
    BufferedFileReader file;
    EXPECT_TRUE(file.Open(path));
    std::vector<int> results;
    int got;
    while ((got = record.Read(file)) != -1)
        results.push_back(got);
    return results;
}

DatabaseRecord Decoded(const std::string& characters) {
    DatabaseRecord record;
    for (std::size_t i = 0; i < 13; ++i)
        record.Values[i] = static_cast<unsigned char>(characters[i]);
    record.Decode();
    return record;
}

TEST(DatabaseRecord, WorkedExampleDecodesAndPacks) {
    DatabaseRecord record;
    ASSERT_EQ(ReadAll(kWorkedExample + '\0', record), std::vector<int>{13});
    EXPECT_EQ(record.Key, 219);
    const std::array<std::int32_t, 13> values{0, 6, 51, 30, 36, 12, 0, 7, 1, 2, 3, 4, 5};
    EXPECT_EQ(record.Values, values);
    EXPECT_EQ(record.Coord1, 515100);
    EXPECT_EQ(record.Coord2, 1199);  // 1199.9999999999998 truncated

    std::uint8_t packed[14];
    PackedRecord::From(record).Pack(packed);
    const std::uint8_t expected[14] = {0x00, 0x07, 0xDC, 0x1C, 0x00, 0x00, 0x04, 0xAF, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(packed, expected, 14), 0);
}

TEST(DatabaseRecord, CoordinatesRoundEveryStepAndTruncate) {
    EXPECT_EQ(CombineCoordinate(51, 30, 36), 515100);
    EXPECT_EQ(CombineCoordinate(0, 5, 6), 849);  // not 850
    EXPECT_EQ(CombineCoordinate(0, 7, 12), 1199);
    EXPECT_EQ(CombineCoordinate(0, 0, 0), 0);
    EXPECT_EQ(CombineCoordinate(353, 353, 155), 3589263);
}

TEST(DatabaseRecord, KeyComesFromRawFifthCharacterAndValuesNeverGoNegative) {
    // c5 = 100: K = 255, seconds 0.
    std::string chars(13, static_cast<char>(250));
    chars[4] = 100;
    chars[2] = static_cast<char>(255);  // equal to K: value 0
    DatabaseRecord record = Decoded(chars);
    EXPECT_EQ(record.Key, 255);
    EXPECT_EQ(record.Values[4], 0);
    EXPECT_EQ(record.Values[2], 0);
    EXPECT_EQ(record.Values[3], 5);

    // c5 = 200: K = 155; characters above K give 0, seconds 100.
    chars[4] = static_cast<char>(200);
    record = Decoded(chars);
    EXPECT_EQ(record.Key, 155);
    EXPECT_EQ(record.Values[3], 0);
    EXPECT_EQ(record.Values[4], 100);

    // c5 below 100: seconds clamp to 0, K above 255.
    chars[4] = 1;
    chars[8] = 1;
    record = Decoded(chars);
    EXPECT_EQ(record.Key, 354);
    EXPECT_EQ(record.Values[4], 0);
    EXPECT_EQ(record.Values[8], 353);
    EXPECT_EQ(PackedRecord::From(record).attributes[0], 353 & 0xFF);  // low 8 bits
}

TEST(DatabaseRecord, ReadCountsShortLongAndCutRecords) {
    DatabaseRecord record;
    const std::string text = std::string("\0", 1) + "abc" + '\0' + std::string(40, 'y') + '\0' +
                             kWorkedExample + '\0' + "partial";
    EXPECT_EQ(ReadAll(text, record), (std::vector<int>{0, 3, DatabaseRecord::TooLong, 13}));
    EXPECT_EQ(record.Coord1, 515100);  // the long record never overwrote more than 13 values
}

TEST(DatabaseRecord, FourteenCharactersAreNotCutToThirteen) {
    DatabaseRecord record;
    EXPECT_EQ(ReadAll(kWorkedExample + "Z" + '\0', record), std::vector<int>{DatabaseRecord::TooLong});
}

TEST(SortedRecordList, NewRecordGoesBeforeEqualKeysAndPositionIsTheWalk) {
    SortedRecordList list;
    auto rec = [](std::uint64_t key, std::uint8_t tag) {
        PackedRecord r;
        r.key = key;
        r.attributes[0] = tag;
        return r;
    };
    EXPECT_EQ(list.Insert(rec(5, 1)), 0u);
    EXPECT_EQ(list.Insert(rec(9, 2)), 0u);
    EXPECT_EQ(list.Insert(rec(1, 3)), 2u);
    EXPECT_EQ(list.Insert(rec(5, 4)), 1u);  // before the earlier 5
    std::vector<int> order;
    while (!list.Empty()) {
        order.push_back(list.Head().attributes[0]);
        list.RemoveHead();
    }
    EXPECT_EQ(order, (std::vector<int>{2, 4, 1, 3}));
}

}  // namespace

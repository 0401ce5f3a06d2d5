#include <gtest/gtest.h>

#include "conversion_fixture.h"
#include "database_generator.h"

namespace {

std::vector<std::string> Records(const std::string& text) {
    std::vector<std::string> records;
    std::size_t start = 0;
    for (std::size_t nul; (nul = text.find('\0', start)) != std::string::npos; start = nul + 1)
        records.push_back(text.substr(start, nul - start));
    return records;
}

TEST(DatabaseGenerator, SameSeedSameTextAndEveryRecordIsValid) {
    DatabaseGeneratorOptions options;
    options.records = 3000;
    options.seed = 42;
    const std::string text = GenerateDatabaseText(options);
    EXPECT_EQ(text, GenerateDatabaseText(options));
    options.seed = 43;
    EXPECT_NE(text, GenerateDatabaseText(options));

    const auto records = Records(text);
    ASSERT_EQ(records.size(), 3000u);
    for (const std::string& r : records) {
        ASSERT_EQ(r.size(), 13u);
        EXPECT_EQ(r.find_first_of("\r\n"), std::string::npos);
    }
    TempFolder folder;
    const ProductRun run = ConvertText(folder, text);
    EXPECT_EQ(run.packed.size(), 5u + 14u * 3000u);  // nothing discarded
}

TEST(DatabaseGenerator, PositionsLieInTheUkAndEurope) {
    DatabaseGeneratorOptions options;
    options.records = 2000;
    TempFolder folder;
    const ProductRun run = ConvertText(folder, GenerateDatabaseText(options));
    for (std::size_t at = 5; at + 14 <= run.packed.size(); at += 14) {
        auto be32 = [&](std::size_t o) {
            const auto* p = reinterpret_cast<const unsigned char*>(run.packed.data() + o);
            return static_cast<std::int32_t>(std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                             std::uint32_t{p[2]} << 8 | p[3]);
        };
        const std::int32_t latitude = be32(at), longitude = be32(at + 4);
        EXPECT_GE(latitude, 35 * 10000);
        EXPECT_LE(latitude, 62 * 10000);
        EXPECT_LE(longitude, 26 * 10000);  // absolute; the west flag is an attribute
    }
}

TEST(DatabaseGenerator, OrdersAreWhatTheyClaim) {
    DatabaseGeneratorOptions options;
    options.records = 5002;
    options.order = RecordOrder::Ascending;
    TempFolder folder;
    EXPECT_EQ(ConvertText(folder, GenerateDatabaseText(options)).lists, 2u);  // never a split
    options.order = RecordOrder::Descending;
    EXPECT_GE(ConvertText(folder, GenerateDatabaseText(options)).lists, 5002u / 102u);
    options.order = RecordOrder::EqualKeys;
    const auto equal = Records(GenerateDatabaseText(options));
    for (const std::string& r : equal)  // same position: characters 3 to 8 encode it
        EXPECT_EQ(r.substr(2, 6), equal.front().substr(2, 6));
}

TEST(DatabaseGenerator, SerialTextIsStablePerSerialWithLineBreaks) {
    const std::string a = GenerateDatabaseTextForSerial("1234567", 100);
    EXPECT_EQ(a, GenerateDatabaseTextForSerial("1234567", 100));
    EXPECT_NE(a, GenerateDatabaseTextForSerial("1234568", 100));
    EXPECT_EQ(Records(a).size(), 100u);
    EXPECT_NE(a.find("\r\n"), std::string::npos);
}

TEST(DatabaseGenerator, ParsesOrderNames) {
    RecordOrder order{};
    EXPECT_TRUE(ParseRecordOrder("descending", order));
    EXPECT_EQ(order, RecordOrder::Descending);
    EXPECT_TRUE(ParseRecordOrder("equal", order));
    EXPECT_FALSE(ParseRecordOrder("sideways", order));
}

}  // namespace

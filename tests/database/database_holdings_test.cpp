#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "database/database_holdings.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

struct HoldingsCase {
    const char* name;
    std::vector<std::uint8_t> stamp;
    std::vector<std::uint8_t> header;
    bool hasDatabase;
    std::uint32_t records;
    const char* date;
};

TEST(DatabaseHoldings, ReadsTheStampAndHeaderOfAnyBytes) {
    const std::vector<std::uint8_t> erased(16, 0xFF);
    const std::uint32_t max = DatabaseRegion::MaxRecords;
    const std::vector<HoldingsCase> cases = {
        {"written", Bytes("01.12.26\r\n"), {0x00, 0x00, 0x48, 0x64, 0x01}, true, 18532, "01.12.26"},
        {"erased flash", erased, erased, false, 0, ""},
        {"no stamp, whole header", erased, {0x00, 0x00, 0x00, 0x01, 0x01, 0xAA}, true, 1, ""},
        {"stamp without a database", Bytes("31.12.99\r\n"), erased, false, 0, "31.12.99"},
        {"largest count that fits", Bytes("07.12.26\r\n"),
         {std::uint8_t(max >> 24), std::uint8_t(max >> 16), std::uint8_t(max >> 8), std::uint8_t(max), 0x01},
         true, max, "07.12.26"},
        {"count past the flash", {}, {std::uint8_t((max + 1) >> 24), std::uint8_t((max + 1) >> 16),
                                      std::uint8_t((max + 1) >> 8), std::uint8_t(max + 1), 0x01}, false, 0, ""},
        {"header not marked 0x01", {}, {0x00, 0x00, 0x00, 0x05, 0x02}, false, 0, ""},
        {"header cut short", {}, {0x00, 0x00, 0x00, 0x05}, false, 0, ""},
        {"stamp cut short", Bytes("01.12.2"), {}, false, 0, ""},
        {"day zero", Bytes("00.12.26\r\n"), {}, false, 0, ""},
        {"month thirteen", Bytes("01.13.26\r\n"), {}, false, 0, ""},
        {"other separator", Bytes("01/12/26\r\n"), {}, false, 0, ""},
    };
    for (const HoldingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DatabaseHoldings holdings = ReadDatabaseHoldings(c.stamp, c.header);
        EXPECT_TRUE(holdings.known);
        EXPECT_EQ(holdings.hasDatabase, c.hasDatabase);
        EXPECT_EQ(holdings.records, c.records);
        EXPECT_EQ(holdings.date, c.date);
    }
}

}  // namespace

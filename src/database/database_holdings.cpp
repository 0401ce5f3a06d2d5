#include "database/database_holdings.h"

#include <string>

namespace {

bool IsDigit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

int TwoDigits(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (bytes[at] - '0') * 10 + (bytes[at + 1] - '0');
}

// "dd.mm.yy" with a plausible day and month; anything else (erased flash
// reads 0xFF) is no date.
std::string StampDate(std::span<const std::uint8_t> stamp) {
    constexpr std::size_t dateLength = 8;
    if (stamp.size() < dateLength)
        return {};
    for (std::size_t i = 0; i < dateLength; ++i) {
        const bool separator = i == 2 || i == 5;
        if (separator ? stamp[i] != '.' : !IsDigit(stamp[i]))
            return {};
    }
    const int day = TwoDigits(stamp, 0);
    const int month = TwoDigits(stamp, 3);
    if (day < 1 || day > 31 || month < 1 || month > 12)
        return {};
    return std::string(stamp.begin(), stamp.begin() + dateLength);
}

}  // namespace

DatabaseHoldings ReadDatabaseHoldings(std::span<const std::uint8_t> dateStamp, std::span<const std::uint8_t> header) {
    DatabaseHoldings holdings;
    holdings.known = true;
    holdings.date = StampDate(dateStamp);
    if (header.size() < DatabaseRegion::HeaderSize || header[4] != 0x01)
        return holdings;
    const std::uint32_t records = static_cast<std::uint32_t>(header[0]) << 24 |
                                  static_cast<std::uint32_t>(header[1]) << 16 |
                                  static_cast<std::uint32_t>(header[2]) << 8 | header[3];
    if (records > DatabaseRegion::MaxRecords)
        return holdings;
    holdings.hasDatabase = true;
    holdings.records = records;
    return holdings;
}

// Reading what the Orvo holds: its date stamp, its database's header and,
// for a backup, the whole database.

#include "database/database_holdings.h"
#include "database/dfu_preparation.h"
#include "device/dfu_device.h"

bool CDfuDevice::ReadHoldings(DatabaseHoldings& holdings, std::vector<std::uint8_t>* dateStamp,
                              std::vector<std::uint8_t>* header) {
    std::vector<std::uint8_t> stamp;
    std::vector<std::uint8_t> head;
    if (!ReadRegion({DfuPreparation::DateStampAddress, DatabaseRegion::DateStampSize}, stamp) ||
        !ReadRegion({DfuPreparation::DatabaseAddress, DatabaseRegion::HeaderSize}, head))
        return false;
    holdings = ReadDatabaseHoldings(stamp, head);
    if (dateStamp != nullptr)
        *dateStamp = std::move(stamp);
    if (header != nullptr)
        *header = std::move(head);
    return true;
}

bool CDfuDevice::ReadHeldDatabase(DatabaseHoldings& holdings, std::vector<std::uint8_t>& dateStamp,
                                  std::vector<std::uint8_t>& database) {
    database.clear();
    if (!ReadHoldings(holdings, &dateStamp))
        return false;
    if (!holdings.hasDatabase)
        return true;
    const auto length = static_cast<std::uint32_t>(DatabaseRegion::PackedSize(holdings.records));
    return ReadRegion({DfuPreparation::DatabaseAddress, length}, database) && database.size() == length;
}

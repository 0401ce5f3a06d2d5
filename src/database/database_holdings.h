#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/cycle_events.h"
#include "database/dfu_preparation.h"
#include "database/sorted_record_lists.h"

// What an Orvo holds, read from the first bytes of its date stamp region
// (0x004E0000) and of its database region (0x00510000). The bytes come from
// the device and may be anything: erased flash, a stamp or header cut short,
// or the remains of an interrupted write.

namespace DatabaseRegion {

// "dd.mm.yy" CR LF.
inline constexpr std::size_t DateStampSize = 10;
// The header: the record count (4 bytes, big-endian) and the value 0x01.
inline constexpr std::size_t HeaderSize = PackedHeaderSize;
// The data flash ends at 8 MiB; a database cannot reach past it.
inline constexpr std::uint32_t DataFlashEnd = 0x00800000;
inline constexpr std::uint32_t MaxRecords =
    static_cast<std::uint32_t>((DataFlashEnd - DfuPreparation::DatabaseAddress - HeaderSize) / PackedRecordSize);

// The length of a packed database of `records` records.
inline constexpr std::uint64_t PackedSize(std::uint32_t records) {
    return HeaderSize + static_cast<std::uint64_t>(records) * PackedRecordSize;
}

}  // namespace DatabaseRegion

// Always `known`. The date is empty unless the stamp reads as a date; the
// database counts only when its header is whole, marked 0x01 and names a
// record count that fits the region.
DatabaseHoldings ReadDatabaseHoldings(std::span<const std::uint8_t> dateStamp, std::span<const std::uint8_t> header);

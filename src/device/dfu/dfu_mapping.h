#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/dfu/dfu_types.h"

// The device's memory map as the protocol engine keeps it: a table with one
// entry per alternate setting of the DFU interface, entry i at byte
// i * kDfuMappingStride, each pointing to its own sector list.

constexpr std::uint8_t kSectorReadable = 1;
constexpr std::uint8_t kSectorErasable = 2;
constexpr std::uint8_t kSectorWritable = 4;

struct DfuMapSector {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::uint8_t properties = 0;  // kSector* bits
};

#pragma pack(push, 1)
struct DfuMapping {
    std::uint8_t alternateSetting;  // 0
    std::uint8_t entryCount;        // 1: entries in the whole table, the same in each
    std::uint16_t transferSize;     // 2: wTransferSize of the interface
    std::uint32_t sectorCount;      // 4
    std::uint64_t sectorTable;      // 8: address of DfuMapSector[sectorCount]
    char name[253];                 // 16: region name, NUL-terminated
};
#pragma pack(pop)

static_assert(sizeof(DfuMapping) == kDfuMappingStride, "callers step through the table by this stride");
static_assert(offsetof(DfuMapping, sectorTable) == 8);
static_assert(offsetof(DfuMapping, name) == 16);

struct ParsedMemoryMap {
    std::string name;
    std::vector<DfuMapSector> sectors;
};

// Parses an interface string "@Name/0xSTART/N*SSSut[,N*SSSut...][/0xSTART/...]".
// Returns false with a reason for anything malformed; never reads past the text.
bool ParseMemoryMap(std::string_view text, ParsedMemoryMap& map, std::string& error);

// Builds a table from parsed entries (index = position); free it with
// STDFUPRT_DestroyMapping.
DfuMapping* BuildMappingTable(const std::vector<ParsedMemoryMap>& entries, std::uint16_t transferSize,
                              const std::vector<std::uint8_t>& alternateSettings);

std::span<const DfuMapSector> MappingSectors(const DfuMapping& entry);
// The sector holding `address`, or nullptr when it is outside the map.
const DfuMapSector* FindSector(const DfuMapping& entry, std::uint32_t address);
// Whether every byte of [address, address + length) lies in sectors with all
// of `properties`.
bool RangeHasProperties(const DfuMapping& entry, std::uint32_t address, std::uint32_t length,
                        std::uint8_t properties);

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/dfu/dfu_names.h"  // the state and status names are part of this API
#include "device/dfu/dfu_types.h"

class DfuLibrary;
class DfuProtocolEngine;

// The DFU engine for C++ callers: a DfuProtocolEngine's calls with the memory
// map owned by an object, the map entry of an alternate setting looked up
// safely, the launch, poll and stop of an operation, and the one way to reach
// a region of device memory. The device's operations and their monitor use
// the launch, the poll and the region images through their DfuLibrary, and
// every program reaches device memory through those operations.

// A device's memory map, freed with the object.
class DfuDeviceMap {
public:
    DfuDeviceMap() = default;
    ~DfuDeviceMap();
    DfuDeviceMap(DfuDeviceMap&& other) noexcept;
    DfuDeviceMap& operator=(DfuDeviceMap&& other) noexcept;
    DfuDeviceMap(const DfuDeviceMap&) = delete;
    DfuDeviceMap& operator=(const DfuDeviceMap&) = delete;

    // Reads the map of the DFU device at `devicePath` through `engine`;
    // STDFU_NOERROR or the engine's result.
    DfuResult Read(DfuProtocolEngine& engine, const std::string& devicePath);
    bool Empty() const { return table_ == nullptr; }
    // The entry of `alternateSetting`, or null when the map has none (a DFU
    // device that is not an Orvo may have a single entry): never a pointer
    // past the table.
    DfuMapping* EntryOf(std::uint8_t alternateSetting) const;

private:
    DfuMapping* table_ = nullptr;
};

// The map entry of `alternateSetting` in a table the engine built (entry i
// describes alternate setting i), or null when the table has no such entry.
DfuMapping* DfuMapEntryOf(DfuMapping* table, std::uint8_t alternateSetting);

// Fills a launch record; false, with the path left empty, when the device
// path does not fit the record: a path cut short would name another device.
bool MakeDfuOperationContext(const std::string& devicePath, std::int32_t operation, DfuHandle image,
                             DfuOperationContext& context);

// --- One launch, poll and stop; the device's monitor polls once per tick of
// the engine's clock.

// Launches the operation the record describes. A launch that reports success
// without a handle is an unexpected error: there would be nothing to poll.
DfuResult LaunchDfuOperation(DfuLibrary& library, DfuOperationContext& context, DfuHandle& handle);

enum class DfuPollState { Running, Finished, Failed };
// One look at the operation's record, into `context`. Once the record shows
// an error or 100 % the operation is stopped (its transfer thread joined),
// `context` holds the record as it ended, and the handle is spent.
DfuPollState PollDfuOperation(DfuLibrary& library, DfuHandle handle, DfuOperationContext& context);

// --- Device memory: a region of alternate setting 1, the data flash.

// Far more than the device's flash; a longer region or element is nonsense
// and must not turn into an allocation.
inline constexpr std::uint32_t kDfuLargestRegion = 64u << 20;

// The image of one operation on the region from `address` over `data`,
// filtered for `operation` against the map entry of alternate setting 1:
// the bytes to program, or for a read or an erase only their range. 0, with
// the library's reason in `result`, when it cannot be made; a region the map
// does not allow is refused here, before a byte goes out.
DfuHandle MakeDfuRegionImage(DfuLibrary& library, DfuMapping* entry, std::int32_t operation, std::uint32_t address,
                             std::span<const std::uint8_t> data, DfuResult& result);
// What a finished read left in its image: the elements' bytes in order. False
// when they cannot be had or would be longer than kDfuLargestRegion.
bool DfuRegionBytes(DfuLibrary& library, DfuHandle image, std::vector<std::uint8_t>& bytes);

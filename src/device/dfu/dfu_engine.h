#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "device/dfu/dfu_names.h"  // the state and status names are part of this API
#include "device/dfu/dfu_types.h"

class DfuProtocolEngine;

// The DFU engine for C++ callers (the tools, tests and benchmarks): a
// DfuProtocolEngine's calls with the memory map owned by an object, the map
// entry of an alternate setting looked up safely, and the launch, poll and
// stop of an operation done once here.

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

struct DfuRunOptions {
    // Called after every status query with the record's percentage.
    std::function<void(int percent)> progress;
    // Asked after every status query; true stops the operation where it is.
    std::function<bool()> stop;
    std::chrono::milliseconds pollInterval{20};
};

struct DfuRunResult {
    DfuResult error = STDFU_NOERROR;  // the launch's result, or the record's ErrorCode
    DfuOperationContext context{};    // the record as the operation ended
    bool finished = false;            // the record reached 100 %
};

// Launches one operation on `engine`, polls its record like the updater's
// monitor, and stops it (its transfer thread joined) at 100 %, at the first
// error, or when `options.stop` says so.
DfuRunResult RunDfuOperation(DfuProtocolEngine& engine, const std::string& devicePath, std::int32_t operation,
                             DfuHandle image, const DfuRunOptions& options = {});

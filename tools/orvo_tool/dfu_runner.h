#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/dfu/dfu_types.h"

class DfuProtocolEngine;

// How an engine operation of the tools ended.
struct ToolRunResult {
    DfuResult error = STDFU_NOERROR;
    std::uint8_t deviceStatus = 0;
    std::uint8_t deviceState = 0;
};

// UPLOAD of [address, address + length) from alternate setting 1, through the
// engine's one way to device memory (ReadDfuRegion).
ToolRunResult ReadFromDevice(DfuProtocolEngine& engine, const std::string& devicePath, std::uint32_t address,
                             std::uint32_t length, std::vector<std::uint8_t>& data);

std::string DescribeResult(const ToolRunResult& result);

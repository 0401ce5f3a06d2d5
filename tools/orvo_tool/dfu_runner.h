#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/dfu/dfu_types.h"

class DfuProtocolEngine;

// Runs engine operations for the tools, the way the updater's monitor does:
// launch, poll the record, stop at 100 % or at the first error.
struct ToolRunResult {
    DfuResult error = STDFU_NOERROR;
    std::uint8_t deviceStatus = 0;
    std::uint8_t deviceState = 0;
};

// Prints a percentage on stderr while it runs when `label` is not empty.
ToolRunResult RunToolOperation(DfuProtocolEngine& engine, const std::string& devicePath, std::int32_t operation,
                               DfuHandle image, const std::string& label);

// UPLOAD of [address, address + length) from alternate setting 1.
ToolRunResult ReadFromDevice(DfuProtocolEngine& engine, const std::string& devicePath, std::uint32_t address,
                             std::uint32_t length, std::vector<std::uint8_t>& data);

std::string DescribeResult(const ToolRunResult& result);

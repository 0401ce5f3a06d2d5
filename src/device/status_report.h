#pragma once

#include <cstdint>
#include <string>

#include "device/dfu/dfu_types.h"

// The readable report of a failed DFU operation, one piece per line. Every
// piece ends in a line break except an empty operation line.
struct StatusReport {
    std::string targetLine;
    std::string operationLine;
    std::string transferLine;
    std::string stateLine;   // state and status lines joined
    std::string requestLine;
    std::string blockLine;
    std::string lengthLine;
    std::string percentLine;
    std::string errorLine;

    // What the progress bar shows: the error line, led by the target when
    // there is one (target 0 or more).
    std::string BarCaption(std::int32_t target) const;
    // The message box text: target and error first, then the details.
    std::string MessageText() const;
};

StatusReport FormatStatusReport(const DfuOperationContext& context, std::int32_t target);

// The single lines, exposed for the tools and the tests.
std::string OperationLine(std::int32_t operation);
std::string DfuStateLine(std::uint8_t state);
std::string DfuStatusLine(std::uint8_t status);
std::string RequestLine(std::uint32_t request);
std::string ErrorCodeLine(std::uint32_t errorCode);

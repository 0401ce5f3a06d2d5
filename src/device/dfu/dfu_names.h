#pragma once

#include <cstdint>
#include <string>

// The names of the DFU states and statuses, each kept once: the USB DFU 1.1
// name ("dfuIDLE", "errTARGET") that the tools and the virtual Orvo print,
// and the name the status report shows the user ("STATE_DFU_IDLE",
// "STATUS_errTARGET").

// "unknown" outside the standard's values.
const char* DfuStatusName(std::uint8_t status);
const char* DfuStateName(std::uint8_t state);

// Empty outside the standard's values.
std::string DfuStatusReportName(std::uint8_t status);
std::string DfuStateReportName(std::uint8_t state);

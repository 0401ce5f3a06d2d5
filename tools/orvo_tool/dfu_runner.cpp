#include "dfu_runner.h"

#include <cstdio>

#include "device/dfu/dfu_engine.h"

ToolRunResult ReadFromDevice(DfuProtocolEngine& engine, const std::string& devicePath, std::uint32_t address,
                             std::uint32_t length, std::vector<std::uint8_t>& data) {
    // A long read shows its percentage on stderr while it runs.
    int shown = -1;
    DfuRunOptions options;
    if (length > 65536) {
        options.progress = [&shown](int percent) {
            if (percent == shown)
                return;
            shown = percent;
            std::fprintf(stderr, "\rread    %3d%%", shown);
        };
    }
    const DfuRunResult run = ReadDfuRegion(engine, devicePath, address, length, data, options);
    if (shown != -1)
        std::fputc('\n', stderr);
    ToolRunResult result;
    result.error = run.error;
    result.deviceStatus = ContextStatus(run.context);
    result.deviceState = ContextState(run.context);
    return result;
}

std::string DescribeResult(const ToolRunResult& result) {
    char text[160];
    switch (result.error) {
    case STDFU_NOERROR: return "success";
    case STDFU_DFU_ERROR:
        std::snprintf(text, sizeof text, "the device reported %s (status %u, state %u)",
                      DfuStatusName(result.deviceStatus), result.deviceStatus, result.deviceState);
        return text;
    case STDFU_BAD_PARAMETER: return "the request lies outside the device's memory map or is malformed";
    case STDFU_BAD_STATE_MACHINE: return "the device is in an unexpected state";
    case STDFU_RETRY_ERROR: return "the device stopped answering (timed out)";
    case STDFU_UNEXPECTED_ERROR: return "the device could not be reached or went away";
    case STDFU_DFU_ALREADY_RUNNING: return "another operation is running on this device";
    default: std::snprintf(text, sizeof text, "error 0x%08X", result.error); return text;
    }
}

#include "dfu_runner.h"

#include <cstdio>

#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"

ToolRunResult RunToolOperation(DfuProtocolEngine& engine, const std::string& devicePath, std::int32_t operation,
                               DfuHandle image, const std::string& label) {
    int shown = -1;
    DfuRunOptions options;
    if (!label.empty()) {
        options.progress = [&shown, &label](int percent) {
            if (percent == shown)
                return;
            shown = percent;
            std::fprintf(stderr, "\r%s %3d%%", label.c_str(), shown);
        };
    }
    const DfuRunResult run = RunDfuOperation(engine, devicePath, operation, image, options);
    if (shown != -1)
        std::fputc('\n', stderr);
    ToolRunResult result;
    result.error = run.error;
    result.deviceStatus = ContextStatus(run.context);
    result.deviceState = ContextState(run.context);
    return result;
}

ToolRunResult ReadFromDevice(DfuProtocolEngine& engine, const std::string& devicePath, std::uint32_t address,
                             std::uint32_t length, std::vector<std::uint8_t>& data) {
    ToolRunResult result;
    DfuDeviceMap map;
    result.error = map.Read(engine, devicePath);
    if (result.error != STDFU_NOERROR)
        return result;
    DfuImageData request;
    request.alternateSetting = 1;
    request.elements.push_back({address, std::vector<std::uint8_t>(length, 0)});
    DfuHandle image = DfuImageStore::Create(std::move(request));
    result.error = STDFUFILES_FilterImageForOperation(image, map.EntryOf(1), OPERATION_UPLOAD, 0);
    if (result.error == STDFU_NOERROR)
        result = RunToolOperation(engine, devicePath, OPERATION_UPLOAD, image, length > 65536 ? "read   " : "");
    if (result.error == STDFU_NOERROR) {
        const auto copy = DfuImageStore::Snapshot(image);
        if (copy && copy->elements.size() == 1)
            data = copy->elements[0].data;
        else
            result.error = STDFU_UNEXPECTED_ERROR;
    }
    STDFUFILES_DestroyImage(&image);
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

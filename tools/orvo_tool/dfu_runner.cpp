#include "dfu_runner.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol.h"

namespace {

DfuMapping* Alternate1(DfuMapping* table, std::uint32_t count) {
    if (count < 2)
        return nullptr;
    return reinterpret_cast<DfuMapping*>(reinterpret_cast<char*>(table) + kDfuMappingStride);
}

const char* StatusName(std::uint8_t status) {
    static const char* const names[] = {"OK",           "errTARGET", "errFILE",    "errWRITE",
                                        "errERASE",     "errCHECK_ERASED", "errPROG", "errVERIFY",
                                        "errADDRESS",   "errNOTDONE", "errFIRMWARE", "errVENDOR",
                                        "errUSBR",      "errPOR",     "errUNKNOWN",  "errSTALLEDPKT"};
    return status < 16 ? names[status] : "unknown";
}

}  // namespace

ToolRunResult RunToolOperation(const std::string& devicePath, std::int32_t operation, DfuHandle image,
                               const std::string& label) {
    ToolRunResult result;
    DfuOperationContext context{};
    context.DfuInterfaceGuid = DfuInterfaceGuid;
    context.SecondInterfaceGuid = SecondInterfaceGuid;
    context.Operation = operation;
    context.Image = image;
    devicePath.copy(context.DevicePath, sizeof context.DevicePath - 1);
    DfuHandle handle = 0;
    result.error = STDFUPRT_LaunchOperation(&context, &handle);
    if (result.error != STDFU_NOERROR)
        return result;
    int shown = -1;
    for (;;) {
        STDFUPRT_GetOperationStatus(handle, &context);
        if (!label.empty() && context.Percent != shown) {
            shown = context.Percent;
            std::fprintf(stderr, "\r%s %3d%%", label.c_str(), shown);
        }
        if (context.ErrorCode != STDFU_NOERROR || context.Percent == 100)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!label.empty())
        std::fputc('\n', stderr);
    STDFUPRT_StopOperation(handle, &context);
    result.error = context.ErrorCode;
    result.deviceStatus = ContextStatus(context);
    result.deviceState = ContextState(context);
    return result;
}

ToolRunResult ReadFromDevice(const std::string& devicePath, std::uint32_t address, std::uint32_t length,
                             std::vector<std::uint8_t>& data) {
    ToolRunResult result;
    DfuMapping* map = nullptr;
    std::uint32_t count = 0;
    result.error = STDFUPRT_CreateMappingFromDevice(devicePath.c_str(), &map, &count);
    if (result.error != STDFU_NOERROR)
        return result;
    DfuImageData request;
    request.alternateSetting = 1;
    request.elements.push_back({address, std::vector<std::uint8_t>(length, 0)});
    DfuHandle image = DfuImageStore::Create(std::move(request));
    result.error = STDFUFILES_FilterImageForOperation(image, Alternate1(map, count), OPERATION_UPLOAD, 0);
    if (result.error == STDFU_NOERROR)
        result = RunToolOperation(devicePath, OPERATION_UPLOAD, image, length > 65536 ? "read   " : "");
    if (result.error == STDFU_NOERROR) {
        const auto copy = DfuImageStore::Snapshot(image);
        if (copy && copy->elements.size() == 1)
            data = copy->elements[0].data;
        else
            result.error = STDFU_UNEXPECTED_ERROR;
    }
    STDFUFILES_DestroyImage(&image);
    STDFUPRT_DestroyMapping(&map);
    return result;
}

std::string DescribeResult(const ToolRunResult& result) {
    char text[160];
    switch (result.error) {
    case STDFU_NOERROR: return "success";
    case STDFU_DFU_ERROR:
        std::snprintf(text, sizeof text, "the device reported %s (status %u, state %u)", StatusName(result.deviceStatus),
                      result.deviceStatus, result.deviceState);
        return text;
    case STDFU_BAD_PARAMETER: return "the request lies outside the device's memory map or is malformed";
    case STDFU_BAD_STATE_MACHINE: return "the device is in an unexpected state";
    case STDFU_RETRY_ERROR: return "the device stopped answering (timed out)";
    case STDFU_UNEXPECTED_ERROR: return "the device could not be reached or went away";
    case STDFU_DFU_ALREADY_RUNNING: return "another operation is running on this device";
    default: std::snprintf(text, sizeof text, "error 0x%08X", result.error); return text;
    }
}

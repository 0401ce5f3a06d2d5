#include "device/status_report.h"

#include <array>
#include <cstdarg>
#include <cstdio>

#include "device/dfu_device.h"
#include "device/dfu/dfu_names.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    std::array<char, 512> buffer{};
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    return written < 0 ? std::string() : std::string(buffer.data());
}

// Requests are numbered 0x02000000 to 0x16000000 in steps of 0x01000000.
constexpr std::array<const char*, 21> kRequestTexts = {
    "Getting Device Descriptor.",
    "Getting DFU Descriptor.",
    "Getting String Descriptor.",
    "Getting amount of configurations.",
    "Getting Configuration Descriptor.",
    "Getting amount of interfaces.",
    "Getting amount of alternates.",
    "Getting interface Descriptor.",
    "Opening device.",
    "Closing device.",
    "Detach Request.",
    "Download Request.",
    "Upload Request.",
    "Get Status Request.",
    "Clear Status Request.",
    "Get State Request.",
    "Abort Request.",
    "Selecting target.",
    "Awaiting UNPLUG EVENT.",
    "Awaiting PLUG EVENT.",
    "Identifying device after reenumeration.",
};
constexpr std::uint32_t kFirstRequest = 0x02000000;
constexpr std::uint32_t kRequestStep = 0x01000000;

const char* ErrorText(std::uint32_t errorCode) {
    switch (errorCode) {
    case STDFU_NOERROR: return "no error (!)";
    case STDFU_THREAD_PROBLEM: return "Unable to launch operation (Thread problem)";
    case STDFU_DFU_ALREADY_RUNNING: return "DFU already running";
    case STDFU_BAD_PARAMETER: return "Bad parameter";
    case STDFU_BAD_STATE_MACHINE: return "Bad state machine in firmware";
    case STDFU_UNEXPECTED_ERROR: return "Unexpected error";
    case STDFU_DFU_ERROR: return "DFU error";
    case STDFU_RETRY_ERROR: return "Retry error";
    default: return nullptr;
    }
}

}  // namespace

std::string OperationLine(std::int32_t operation) {
    switch (operation) {
    case OPERATION_DETACH: return "Operation: DETACH\n";
    case OPERATION_RETURN: return "Operation: RETURN\n";
    case OPERATION_UPLOAD: return "Operation: UPLOAD\n";
    case OPERATION_UPGRADE: return "Operation: UPGRADE\n";
    default: return {};  // ERASE has no line of its own
    }
}

std::string DfuStateLine(std::uint8_t state) {
    if (const std::string name = DfuStateReportName(state); !name.empty())
        return "DFU State: " + name + "\n";
    return Format("DFU State: (Unknown 0x%02X)\n", static_cast<unsigned>(state));
}

std::string DfuStatusLine(std::uint8_t status) {
    if (const std::string name = DfuStatusReportName(status); !name.empty())
        return "DFU Status: " + name + "\n";
    return Format("DFU Status: (Unknown 0x%02X)\n", static_cast<unsigned>(status));
}

std::string RequestLine(std::uint32_t request) {
    if (request >= kFirstRequest && request % kRequestStep == 0) {
        const std::uint32_t index = (request - kFirstRequest) / kRequestStep;
        if (index < kRequestTexts.size())
            return Format("Request: %s \n", kRequestTexts[index]);
    }
    return Format("Request: (unknown 0x%08X). \n", static_cast<unsigned>(request));
}

std::string ErrorCodeLine(std::uint32_t errorCode) {
    if (const char* text = ErrorText(errorCode))
        return Format("Error Code: %s\n", text);
    return Format("Error Code: Unknown error 0x%08X. \n", static_cast<unsigned>(errorCode));
}

StatusReport FormatStatusReport(const DfuOperationContext& context, std::int32_t target) {
    StatusReport report;
    report.targetLine = Format("Target: %02i\n", static_cast<int>(target));
    report.operationLine = OperationLine(context.Operation);
    report.transferLine = Format("TransferSize: %i\n", static_cast<int>(context.TransferSize));
    report.stateLine = DfuStateLine(ContextState(context)) + DfuStatusLine(ContextStatus(context));
    report.requestLine = RequestLine(context.Request);
    report.blockLine = Format("CurrentNBlock: 0x%04X\n", static_cast<unsigned>(context.CurrentNBlock));
    report.lengthLine = Format("CurrentLength: 0x%04X\n", static_cast<unsigned>(context.CurrentLength));
    report.percentLine = Format("Percent: %i%%\n", static_cast<int>(context.Percent));
    report.errorLine = ErrorCodeLine(context.ErrorCode);
    return report;
}

std::string StatusReport::BarCaption(std::int32_t target) const {
    if (target < 0)
        return errorLine;
    return Format("Target %02i: %s", static_cast<int>(target), errorLine.c_str());
}

std::string StatusReport::MessageText() const {
    return targetLine + errorLine + operationLine + transferLine + stateLine + requestLine + blockLine +
           lengthLine + percentLine;
}

void CDfuDevice::ReportStatus(const DfuOperationContext& context) {
    const std::int32_t target = Target.load();
    const StatusReport report = FormatStatusReport(context, target);
    Events.Publish(CycleEvents::Error{CycleErrorKind::Device, report.BarCaption(target), report.MessageText(),
                                      ErrorCause::OperationFailed});
}

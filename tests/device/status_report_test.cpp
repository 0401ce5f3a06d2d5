#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/bar_colours.h"
#include "device/dfu/dfu_class.h"
#include "device/dfu_device.h"
#include "device/status_report.h"
#include "device/dfu/dfu_names.h"
#include "support/recording_ports.h"
#include "common/cycle_signals.h"

namespace {

DfuOperationContext Context(std::int32_t operation, DfuResult error) {
    DfuOperationContext context{};
    context.Operation = operation;
    context.ErrorCode = error;
    return context;
}

}  // namespace

// The names are the ones the report has always shown; a few are spelled out
// here against the wire values they stand for, and the rest must at least be
// named, each differently.
TEST(StatusReport, StatesAndStatusesAreNamedAfterTheirWireValues) {
    EXPECT_EQ(DfuStateLine(dfu::appIDLE), "DFU State: STATE_IDLE\n");
    EXPECT_EQ(DfuStateLine(dfu::dfuIDLE), "DFU State: STATE_DFU_IDLE\n");
    EXPECT_EQ(DfuStateLine(dfu::dfuDNBUSY), "DFU State: STATE_DFU_DOWNLOAD_BUSY\n");
    EXPECT_EQ(DfuStateLine(dfu::dfuMANIFEST_WAIT_RESET), "DFU State: STATE_DFU_MANIFEST_WAIT_RESET\n");
    EXPECT_EQ(DfuStateLine(dfu::dfuERROR), "DFU State: STATE_DFU_ERROR\n");

    EXPECT_EQ(DfuStatusLine(dfu::OK), "DFU Status: STATUS_OK\n");
    EXPECT_EQ(DfuStatusLine(dfu::errTARGET), "DFU Status: STATUS_errTARGET\n");
    EXPECT_EQ(DfuStatusLine(dfu::errCHECK_ERASED), "DFU Status: STATUS_errCHECK_ERASE\n");  // the report's spelling
    EXPECT_EQ(DfuStatusLine(dfu::errPROG), "DFU Status: STATUS_errPROG\n");
    EXPECT_EQ(DfuStatusLine(dfu::errSTALLEDPKT), "DFU Status: STATUS_errSTALLEDPKT\n");

    // The same table gives the standard's names that the tools and the
    // virtual Orvo print.
    EXPECT_STREQ(DfuStatusName(dfu::errCHECK_ERASED), "errCHECK_ERASED");
    EXPECT_STREQ(DfuStateName(dfu::dfuDNLOAD_SYNC), "dfuDNLOAD-SYNC");
    EXPECT_STREQ(DfuStatusName(16), "unknown");
}

TEST(StatusReport, EveryStateAndStatusHasANameOfItsOwn) {
    std::set<std::string> states;
    for (std::uint8_t state = dfu::appIDLE; state <= dfu::dfuERROR; ++state) {
        const std::string line = DfuStateLine(state);
        EXPECT_EQ(line.rfind("DFU State: STATE_", 0), 0u) << line;
        EXPECT_EQ(line.back(), '\n');
        states.insert(line);
    }
    EXPECT_EQ(states.size(), 11u);

    std::set<std::string> statuses;
    for (std::uint8_t status = dfu::OK; status <= dfu::errSTALLEDPKT; ++status) {
        const std::string line = DfuStatusLine(status);
        EXPECT_EQ(line.rfind(status == dfu::OK ? "DFU Status: STATUS_OK" : "DFU Status: STATUS_err", 0), 0u) << line;
        EXPECT_EQ(line.back(), '\n');
        statuses.insert(line);
    }
    EXPECT_EQ(statuses.size(), 16u);
}

TEST(StatusReport, RequestsFromFirstToLastAreNamed) {
    // The two ends of the numbering and the requests of a transfer.
    EXPECT_EQ(RequestLine(0x02000000), "Request: Getting Device Descriptor. \n");
    EXPECT_EQ(RequestLine(0x0D000000), "Request: Download Request. \n");
    EXPECT_EQ(RequestLine(0x0E000000), "Request: Upload Request. \n");
    EXPECT_EQ(RequestLine(0x0F000000), "Request: Get Status Request. \n");
    EXPECT_EQ(RequestLine(0x12000000), "Request: Abort Request. \n");
    EXPECT_EQ(RequestLine(0x16000000), "Request: Identifying device after reenumeration. \n");

    std::set<std::string> lines;
    for (std::uint32_t code = 0x02000000; code <= 0x16000000; code += 0x01000000) {
        const std::string line = RequestLine(code);
        EXPECT_EQ(line.find("unknown"), std::string::npos) << line;
        EXPECT_EQ(line.rfind("Request: ", 0), 0u);
        EXPECT_EQ(line.substr(line.size() - 3), ". \n");
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), 21u);
}

TEST(StatusReport, EveryResultOfTheEngineIsNamed) {
    EXPECT_EQ(ErrorCodeLine(STDFU_NOERROR), "Error Code: no error (!)\n");
    EXPECT_EQ(ErrorCodeLine(STDFU_THREAD_PROBLEM), "Error Code: Unable to launch operation (Thread problem)\n");
    EXPECT_EQ(ErrorCodeLine(STDFU_BAD_STATE_MACHINE), "Error Code: Bad state machine in firmware\n");
    EXPECT_EQ(ErrorCodeLine(STDFU_DFU_ERROR), "Error Code: DFU error\n");
    EXPECT_EQ(ErrorCodeLine(STDFU_RETRY_ERROR), "Error Code: Retry error\n");

    std::set<std::string> lines;
    for (const DfuResult result : {STDFU_NOERROR, STDFU_THREAD_PROBLEM, STDFU_DFU_ALREADY_RUNNING, STDFU_BAD_PARAMETER,
                                   STDFU_BAD_STATE_MACHINE, STDFU_UNEXPECTED_ERROR, STDFU_DFU_ERROR,
                                   STDFU_RETRY_ERROR}) {
        const std::string line = ErrorCodeLine(result);
        EXPECT_EQ(line.find("Unknown"), std::string::npos) << line;
        EXPECT_EQ(line.rfind("Error Code: ", 0), 0u);
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), 8u);
}

TEST(StatusReport, ValuesOutsideTheTablesGetTheirUnknownLines) {
    EXPECT_EQ(DfuStateLine(11), "DFU State: (Unknown 0x0B)\n");
    EXPECT_EQ(DfuStateLine(255), "DFU State: (Unknown 0xFF)\n");
    EXPECT_EQ(DfuStatusLine(16), "DFU Status: (Unknown 0x10)\n");
    EXPECT_EQ(RequestLine(0), "Request: (unknown 0x00000000). \n");
    EXPECT_EQ(RequestLine(0x01000000), "Request: (unknown 0x01000000). \n");
    EXPECT_EQ(RequestLine(0x17000000), "Request: (unknown 0x17000000). \n");
    EXPECT_EQ(RequestLine(0x02000001), "Request: (unknown 0x02000001). \n");
    EXPECT_EQ(ErrorCodeLine(0x12345002), "Error Code: Unknown error 0x12345002. \n");
    // Unsupported feature has no line here: the monitor shows its own box.
    EXPECT_EQ(ErrorCodeLine(0x1234500D), "Error Code: Unknown error 0x1234500D. \n");
}

TEST(StatusReport, OperationLines) {
    EXPECT_EQ(OperationLine(0), "Operation: DETACH\n");
    EXPECT_EQ(OperationLine(1), "Operation: RETURN\n");
    EXPECT_EQ(OperationLine(2), "Operation: UPLOAD\n");
    EXPECT_EQ(OperationLine(3), "");  // ERASE
    EXPECT_EQ(OperationLine(4), "Operation: UPGRADE\n");
    EXPECT_EQ(OperationLine(5), "");
    EXPECT_EQ(OperationLine(-1), "");
}

TEST(StatusReport, MessageIsLedByTargetAndError) {
    DfuOperationContext context = Context(OPERATION_UPGRADE, 0x1234500B);
    context.TransferSize = 2048;
    context.LastDfuStatus[0] = 6;  // bStatus errPROG
    context.LastDfuStatus[4] = 10;  // bState dfuERROR
    context.Request = 0x0D000000;
    context.CurrentNBlock = 0x1A;
    context.CurrentLength = 0x800;
    context.Percent = 42;

    const StatusReport report = FormatStatusReport(context, 1);
    EXPECT_EQ(report.MessageText(),
              "Target: 01\n"
              "Error Code: DFU error\n"
              "Operation: UPGRADE\n"
              "TransferSize: 2048\n"
              "DFU State: STATE_DFU_ERROR\n"
              "DFU Status: STATUS_errPROG\n"
              "Request: Download Request. \n"
              "CurrentNBlock: 0x001A\n"
              "CurrentLength: 0x0800\n"
              "Percent: 42%\n");
    EXPECT_EQ(report.BarCaption(1), "Target 01: Error Code: DFU error\n");
}

TEST(StatusReport, EraseHasNoOperationLineAndWideValuesAreNotCut) {
    DfuOperationContext context = Context(OPERATION_ERASE, 0x12345008);
    context.TransferSize = 65535;
    context.CurrentNBlock = 0x12345;
    context.Percent = 255;
    const std::string text = FormatStatusReport(context, 1).MessageText();
    EXPECT_NE(text.find("Error Code: Bad parameter\nTransferSize: 65535\n"), std::string::npos);
    EXPECT_NE(text.find("CurrentNBlock: 0x12345\n"), std::string::npos);
    EXPECT_NE(text.find("Percent: 255%\n"), std::string::npos);
}

TEST(StatusReport, NegativeTargetPrintsItAndCaptionIsTheBareErrorLine) {
    const StatusReport report = FormatStatusReport(Context(OPERATION_UPLOAD, 0x1234500A), -1);
    EXPECT_EQ(report.targetLine, "Target: -1\n");
    EXPECT_EQ(report.BarCaption(-1), "Error Code: Unexpected error\n");
    EXPECT_EQ(report.BarCaption(0), "Target 00: Error Code: Unexpected error\n");
    EXPECT_EQ(report.BarCaption(123), "Target 123: Error Code: Unexpected error\n");
}

TEST(StatusReport, ReportColoursTheBarRedAndShowsTheBox) {
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    CDfuDevice device("/opt/orvo/orvo-updater");
    device.AttachSignals(&signals);
    CycleDisplay display(device.Events, bar, box, signals);
    device.Target = 1;

    device.ReportStatus(Context(OPERATION_UPLOAD, 0x1234500C));

    EXPECT_EQ(bar.Text(), "Target 01: Error Code: Retry error\n");  // keeps its line break
    EXPECT_TRUE(bar.ShowText());
    EXPECT_EQ(bar.BarColour(), Rgb(255, 0, 0));
    EXPECT_EQ(bar.TextColour(), Rgb(255, 0, 0));
    EXPECT_EQ(bar.BkColour(), Rgb(255, 255, 255));
    EXPECT_EQ(bar.TextBkColour(), Rgb(255, 255, 255));
    ASSERT_EQ(box.Messages().size(), 1u);
    EXPECT_EQ(box.Messages()[0].rfind("Target: 01\nError Code: Retry error\nOperation: UPLOAD\n", 0), 0u);
}

TEST(StatusReport, ErrorAndMessageOnTheBar) {
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    CDfuDevice device("/opt/orvo/orvo-updater");
    device.AttachSignals(&signals);
    CycleDisplay display(device.Events, bar, box, signals);

    BarColours::Apply(bar, BarColours::Write);
    device.Events.Publish(CycleEvents::Notice{"Upgrade successful !"});
    EXPECT_EQ(bar.Text(), "Upgrade successful !");
    EXPECT_TRUE(bar.ShowText());
    EXPECT_EQ(bar.BarColour(), Rgb(0, 128, 0));  // colours stay

    device.ShowError("Unable to get data from read image...");
    EXPECT_EQ(bar.Text(), "Unable to get data from read image...");
    EXPECT_EQ(bar.BarColour(), Rgb(255, 0, 0));
    EXPECT_EQ(bar.TextColour(), Rgb(255, 0, 0));
    EXPECT_EQ(bar.TextBkColour(), Rgb(255, 255, 255));
    EXPECT_EQ(bar.BkColour(), Rgb(255, 255, 255));
    EXPECT_TRUE(box.Messages().empty());
}

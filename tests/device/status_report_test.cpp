#include <gtest/gtest.h>

#include "common/bar_colours.h"
#include "device/dfu_device.h"
#include "device/status_report.h"
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

TEST(StatusReport, EveryNamedStateStatusRequestAndError) {
    const char* states[] = {"STATE_IDLE",
                            "STATE_DETACH",
                            "STATE_DFU_IDLE",
                            "STATE_DFU_DOWNLOAD_SYNC",
                            "STATE_DFU_DOWNLOAD_BUSY",
                            "STATE_DFU_DOWNLOAD_IDLE",
                            "STATE_DFU_MANIFEST_SYNC",
                            "STATE_DFU_MANIFEST",
                            "STATE_DFU_MANIFEST_WAIT_RESET",
                            "STATE_DFU_UPLOAD_IDLE",
                            "STATE_DFU_ERROR"};
    for (std::uint8_t i = 0; i < 11; ++i)
        EXPECT_EQ(DfuStateLine(i), std::string("DFU State: ") + states[i] + "\n");

    const char* statuses[] = {"STATUS_OK",        "STATUS_errTARGET",      "STATUS_errFILE",
                              "STATUS_errWRITE",  "STATUS_errERASE",       "STATUS_errCHECK_ERASE",
                              "STATUS_errPROG",   "STATUS_errVERIFY",      "STATUS_errADDRESS",
                              "STATUS_errNOTDONE", "STATUS_errFIRMWARE",   "STATUS_errVENDOR",
                              "STATUS_errUSBR",   "STATUS_errPOR",         "STATUS_errUNKNOWN",
                              "STATUS_errSTALLEDPKT"};
    for (std::uint8_t i = 0; i < 16; ++i)
        EXPECT_EQ(DfuStatusLine(i), std::string("DFU Status: ") + statuses[i] + "\n");

    const std::pair<std::uint32_t, const char*> requests[] = {
        {0x02000000, "Request: Getting Device Descriptor. \n"},
        {0x03000000, "Request: Getting DFU Descriptor. \n"},
        {0x04000000, "Request: Getting String Descriptor. \n"},
        {0x05000000, "Request: Getting amount of configurations. \n"},
        {0x06000000, "Request: Getting Configuration Descriptor. \n"},
        {0x07000000, "Request: Getting amount of interfaces. \n"},
        {0x08000000, "Request: Getting amount of alternates. \n"},
        {0x09000000, "Request: Getting interface Descriptor. \n"},
        {0x0A000000, "Request: Opening device. \n"},
        {0x0B000000, "Request: Closing device. \n"},
        {0x0C000000, "Request: Detach Request. \n"},
        {0x0D000000, "Request: Download Request. \n"},
        {0x0E000000, "Request: Upload Request. \n"},
        {0x0F000000, "Request: Get Status Request. \n"},
        {0x10000000, "Request: Clear Status Request. \n"},
        {0x11000000, "Request: Get State Request. \n"},
        {0x12000000, "Request: Abort Request. \n"},
        {0x13000000, "Request: Selecting target. \n"},
        {0x14000000, "Request: Awaiting UNPLUG EVENT. \n"},
        {0x15000000, "Request: Awaiting PLUG EVENT. \n"},
        {0x16000000, "Request: Identifying device after reenumeration. \n"},
    };
    for (const auto& [code, line] : requests)
        EXPECT_EQ(RequestLine(code), line);

    const std::pair<std::uint32_t, const char*> errors[] = {
        {0x12340000, "Error Code: no error (!)\n"},
        {0x12345001, "Error Code: Unable to launch operation (Thread problem)\n"},
        {0x12345007, "Error Code: DFU already running\n"},
        {0x12345008, "Error Code: Bad parameter\n"},
        {0x12345009, "Error Code: Bad state machine in firmware\n"},
        {0x1234500A, "Error Code: Unexpected error\n"},
        {0x1234500B, "Error Code: DFU error\n"},
        {0x1234500C, "Error Code: Retry error\n"},
    };
    for (const auto& [code, line] : errors)
        EXPECT_EQ(ErrorCodeLine(code), line);
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
    device.AttachUi(&bar, &box, &signals);
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
    device.AttachUi(&bar, &box, &signals);

    BarColours::Apply(bar, BarColours::Write);
    device.ShowMessage("Upgrade successful !");
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

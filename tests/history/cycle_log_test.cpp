#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/cycle_log.h"
#include "support/scratch_files.h"

namespace {

// The log's lines end as the platform's text files do (CR LF on Windows).
std::string ReadText(const std::string& path) {
    std::string text;
    for (const std::uint8_t byte : ReadBytes(path))
        if (byte != '\r')
            text.push_back(static_cast<char>(byte));
    return text;
}

// In a user's folder whose name is not ASCII, as "C:\\Users\\Zoë".
TEST(CycleLog, WritesEachStepOnItsLineWithoutTheSignature) {
    ScratchFolder scratch(std::string("cycle_log_steps_") + kNonAsciiName);
    const std::string folder = scratch.File("state/orvo-updater/");
    std::vector<std::string> reports;
    CycleLog log(folder, [&](const std::string& text) { reports.push_back(text); },
                 [](std::int32_t state) { return state == 1 ? std::string("Download") : std::to_string(state); });
    log.OnCycleEvent(CycleEvents::OperationProgress{DeviceOperation::Write, 42});
    EXPECT_FALSE(std::filesystem::exists(Utf8Path(folder))) << "made at the first event logged, not before: no line per percent";

    log.OnCycleEvent(CycleEvents::StateEntered{1});
    log.OnCycleEvent(CycleEvents::DownloadAnswered{"/OrvoDownload.aspx?z=0123456789ABCDEF&s=A123456", 200, 1234});
    log.OnCycleEvent(CycleEvents::Error{CycleErrorKind::Device, "Write error", "Error during transfer\r\nerrPROG"});
    log.OnCycleEvent(CycleEvents::DeviceAccess{"/dev/bus/usb/001/004: no permission to open the device."});
    log.Note("the computer is kept awake\x1B[2J");
    CycleEvents::CycleEnded ended;
    ended.outcome = CycleOutcome::Failed;
    ended.cause = "Write error";
    ended.serial = "A123456";
    log.OnCycleEvent(ended);

    const std::string text = ReadText(log.FilePath());
    EXPECT_NE(text.find("state Download\n"), std::string::npos);
    EXPECT_NE(text.find("download /OrvoDownload.aspx?z=(signature)&s=A123456: HTTP 200, 1234 bytes"),
              std::string::npos);
    EXPECT_EQ(text.find("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(text.find("status report: Error during transfer / errPROG\n"), std::string::npos);
    EXPECT_NE(text.find("cycle failed, Write error: s/n A123456"), std::string::npos);
    EXPECT_NE(text.find("/dev/bus/usb/001/004: no permission to open the device.\n"), std::string::npos);
    EXPECT_NE(text.find("the computer is kept awake\\x1B[2J\n"), std::string::npos) << "a note is escaped like the rest";
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(RequestWithoutSignature("/a?s=1&z=SIG"), "/a?s=1&z=(signature)");
    ORVO_SKIP_WITHOUT(FilePermissions);
    EXPECT_EQ(ModeBits(folder), 0700u);
    EXPECT_EQ(ModeBits(log.FilePath()), 0600u) << "the log is the user's alone, like the history";
}

// Whatever a device or a server sends cannot steer the terminal that shows
// the log; the program's own states and a redirect's target are named.
TEST(CycleLog, NamesStatesAndRedirectsAndEscapesEveryControlCharacter) {
    ScratchFolder scratch("cycle_log_escapes");
    CycleLog log(scratch.File(""), nullptr);
    log.OnCycleEvent(CycleEvents::StateEntered{3});
    log.OnCycleEvent(CycleEvents::StateEntered{7});
    CycleEvents::DownloadAnswered redirected{"http://a.invalid/OrvoDownload.aspx?s=A1", 200, 10};
    redirected.redirectedTo = "http://mirror.invalid/db?z=SIG&s=A1";
    log.OnCycleEvent(redirected);
    // CSI as a C1 byte alone and as U+009B, a stray continuation byte, a
    // cut-off sequence; then text that must stay as it is.
    const std::string kept = "|\xC3\xA4\xC4\x80\xE2\x82\xAC\xF0\x9F\x98\x80|";  // ä, Ā, €, an emoji
    log.OnCycleEvent(CycleEvents::Notice{"a\x9B" "31mb \xC2\x9B" "31m \x80 \xE2\x82 \x1B[0m" + kept});
    const std::string text = ReadText(log.FilePath());
    EXPECT_NE(text.find("state wait for device\n"), std::string::npos) << text;
    EXPECT_NE(text.find("state failed\n"), std::string::npos) << text;
    EXPECT_NE(text.find("download http://mirror.invalid/db?z=(signature)&s=A1 (redirected from "
                        "http://a.invalid/OrvoDownload.aspx?s=A1): HTTP 200, 10 bytes"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("a\\x9B31mb \\xC2\\x9B31m \\x80 \\xE2\\x82 \\x1B[0m" + kept + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(RequestWithoutSignature("/z=path?s=1"), "/z=path?s=1");
}

TEST(CycleLog, KeepsThreeFilesAndReportsAnUnwritableFolderOnce) {
    ScratchFolder scratch("cycle_log_rotation");
    const std::string folder = scratch.File("");
    {
        CycleLog log(folder, nullptr, {}, 400);
        for (int i = 0; i < 100; ++i)
            log.OnCycleEvent(CycleEvents::Notice{"line " + std::to_string(i)});
    }
    EXPECT_TRUE(std::filesystem::exists(folder + "orvo-updater.log"));
    EXPECT_TRUE(std::filesystem::exists(folder + "orvo-updater.1.log"));
    EXPECT_TRUE(std::filesystem::exists(folder + "orvo-updater.2.log"));
    EXPECT_FALSE(std::filesystem::exists(folder + "orvo-updater.3.log"));
    EXPECT_NE(ReadText(folder + "orvo-updater.log").find("line 99"), std::string::npos);
    WriteBytes(scratch.File("plain-file"), {'x'});
    std::vector<std::string> reports;
    CycleLog blocked(scratch.File("plain-file/orvo-updater/"), [&](const std::string& text) { reports.push_back(text); });
    blocked.OnCycleEvent(CycleEvents::Notice{"one"});
    blocked.OnCycleEvent(CycleEvents::Notice{"two"});
    EXPECT_EQ(reports.size(), 1u);

    // A FIFO in the log's place neither holds the writer nor takes the lines.
    ORVO_SKIP_WITHOUT(Fifo);
    const std::string fifoFolder = scratch.File("fifo/");
    std::filesystem::create_directories(fifoFolder);
    ASSERT_EQ(MakeFifo(fifoFolder + "orvo-updater.log"), 0);
    CycleLog fifo(fifoFolder, [&](const std::string& text) { reports.push_back(text); });
    fifo.OnCycleEvent(CycleEvents::Notice{"one"});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("is not a regular file"), std::string::npos) << reports[1];

    ORVO_SKIP_WITHOUT(FilePermissions);
    for (const char* name : {"orvo-updater.log", "orvo-updater.1.log", "orvo-updater.2.log"})
        EXPECT_EQ(ModeBits(folder + name), 0600u) << name;
}

}  // namespace

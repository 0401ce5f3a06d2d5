// orvo-tool identify, write and update, which run the updater's own
// identification, device write and update cycle, their events shown on the
// console and the view's timers ticking on a thread.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "device/dfu/dfu_files_format.h"
#include "support/json_check.h"
#include "support/scratch_files.h"
#include "support/today.h"
#include "support/tool_run.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

ToolRun RunTool(const std::string& arguments) { return RunProgram("orvo-tool", arguments); }
// Only what the command says on stderr; a hang ends as exit code 124.
ToolRun RunToolErrors(const std::string& arguments) {
    return RunShellCommand("timeout 120 " + TestProgram("orvo-tool") + " " + arguments + " 2>&1 >/dev/null");
}

// `orvo-sim server` in the background for as long as the object lives.
class ServerProcess {
public:
    explicit ServerProcess(const std::string& options) {
        // The shell's pid is the server's: exec replaces the shell.
        const std::string command = "echo $$; exec " + std::string(ORVO_TEST_BIN_DIR) +
                                    "/orvo-sim server --port 0 --seconds 300 " + options;
        pipe_ = ::popen(command.c_str(), "r");
        char line[256];
        if (pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr)
            pid_ = std::atoi(line);
        if (pipe_ != nullptr && std::fgets(line, sizeof line, pipe_) != nullptr) {
            const std::string text = line;  // "listening on HOST:PORT (...)"
            const auto start = text.find("on ");
            const auto end = text.find(' ', start + 3);
            if (start != std::string::npos && end != std::string::npos)
                host = text.substr(start + 3, end - start - 3);
        }
    }
    ~ServerProcess() {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
        if (pipe_ != nullptr)
            ::pclose(pipe_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::string host;  // empty when the server did not start

private:
    std::FILE* pipe_ = nullptr;
    int pid_ = 0;
};

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void WriteDfu(const std::string& path, std::uint8_t alternate, std::uint32_t address,
              std::vector<std::uint8_t> data) {
    DfuFileContents contents;
    contents.images.push_back({alternate, "", {{address, std::move(data)}}});
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(DfuFileFormat::Serialize(contents, bytes));
    WriteBytes(path, bytes);
}

class IdentifyWriteTool : public ::testing::Test {
protected:
    ScratchFolder folder_{"identify_write_tool"};
};

TEST_F(IdentifyWriteTool, IdentifiesAFreshVirtualOrvo) {
    const ToolRun run = RunTool("identify --virtual");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("serial: OR12345\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("identity text: H2026010100000000001\n"), std::string::npos);
    EXPECT_NE(run.output.find("product name: Orvo\n"), std::string::npos);
    EXPECT_NE(run.output.find("verdict: accepted\n"), std::string::npos);

    // The same as JSON; a fresh Orvo holds no database, which is not the
    // same as one that was not read.
    const ToolRun json = RunProgram("orvo-tool", "identify --json --virtual", "2>/dev/null");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_TRUE(IsValidJson(json.output)) << json.output;
    EXPECT_NE(json.output.find("\"serial\": \"OR12345\", \"identity_text\": \"H2026010100000000001\", "
                               "\"product_name\": \"Orvo\", \"verdict\": \"accepted\", \"database\": false, "
                               "\"date\": null, \"records\": 0}"),
              std::string::npos)
        << json.output;
    const ToolRun devices = RunProgram("orvo-tool", "devices --json --virtual", "2>/dev/null");
    EXPECT_EQ(devices.exitCode, 0);
    EXPECT_TRUE(IsValidJson(devices.output)) << devices.output;
    EXPECT_NE(devices.output.find("\"description\": \"Orvo in DFU mode\", \"access\": \"usable\""),
              std::string::npos)
        << devices.output;
}

TEST_F(IdentifyWriteTool, WrittenIdentityIsWhatTheNextRunJudges) {
    const std::string flash = folder_.File("flash.bin");
    const std::string dfu = folder_.File("id.dfu");
    // An erased identity block: seven 0xFF bytes as serial, no texts.
    WriteDfu(dfu, 1, 0x004F0000, std::vector<std::uint8_t>(56, 0xFF));
    const ToolRun write = RunTool("write " + dfu + " --virtual=" + flash);
    ASSERT_EQ(write.exitCode, 0) << write.output;
    // Piped, each phase has its line: not a database, so written and read back.
    EXPECT_NE(write.output.find("write: done in"), std::string::npos) << write.output;
    EXPECT_NE(write.output.find("verify: done in"), std::string::npos) << write.output;

    const ToolRun run = RunTool("identify --virtual=" + flash);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("serial: \\xFF\\xFF\\xFF\\xFF\\xFF\\xFF\\xFF\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("verdict: rejected\n"), std::string::npos);
}

TEST_F(IdentifyWriteTool, WriteShowsTheOperationsOwnErrors) {
    const std::string dfu = folder_.File("firmware.dfu");
    WriteDfu(dfu, 0, 0x00100000, {1, 2, 3});
    const ToolRun run = RunTool("write " + dfu + " --virtual");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("Unable to find data for that device/target from the file ..."), std::string::npos)
        << run.output;

    EXPECT_EQ(RunTool("identify --virtual extra").exitCode, 2);
}

TEST_F(IdentifyWriteTool, WriteOfAnImageWithoutBytesFailsInTheEngine) {
    const std::string dfu = folder_.File("empty.dfu");
    WriteDfu(dfu, 1, 0x00510000, {});
    const ToolRun run = RunTool("write " + dfu + " --virtual");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Error Code: Bad parameter"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("100%"), std::string::npos) << run.output;
}

TEST_F(IdentifyWriteTool, FlashIsSavedAfterAFailedWrite) {
    // A write the device operation refuses still saves the virtual Orvo's
    // flash, so that what the failure left can be inspected.
    const std::string flash = folder_.File("kept.bin");
    const std::string refused = folder_.File("firmware.dfu");
    WriteDfu(refused, 0, 0x00100000, {1, 2, 3});
    const ToolRun run = RunTool("write " + refused + " --virtual=" + flash);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    ASSERT_TRUE(std::filesystem::exists(flash)) << run.output;
    EXPECT_EQ(std::filesystem::file_size(flash), 8u * 1024 * 1024);
    EXPECT_EQ(RunTool("identify --virtual=" + flash).exitCode, 0);
}

}  // namespace

namespace {

// What the issue found: a database written over a flash with an old date
// stamp left that date beside it. `write` takes the updater's path; only
// `write-raw` still erases and writes alone.
TEST_F(IdentifyWriteTool, WriteOfADatabaseNeverLeavesAnOldDateBesideIt) {
    const std::string flash = folder_.File("flash.bin");
    const std::string oldDate = folder_.File("date.dfu");
    const std::string database = folder_.File("db.dfu");
    WriteDfu(oldDate, 1, 0x004E0000, {'0', '1', '.', '0', '1', '.', '2', '0', '\r', '\n'});
    std::vector<std::uint8_t> packed(3000);
    for (std::size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<std::uint8_t>(i * 7 + 1);
    WriteDfu(database, 1, 0x00510000, packed);
    ASSERT_EQ(RunTool("write-raw " + oldDate + " --virtual=" + flash).exitCode, 0);
    ASSERT_EQ(RunTool("write-raw " + database + " --virtual=" + flash).exitCode, 0);

    // The device already holds the database: only the date is renewed.
    const std::string today = TodayStamp();
    const ToolRun renewed = RunTool("write " + database + " --virtual=" + flash);
    ASSERT_EQ(renewed.exitCode, 0) << renewed.output;
    EXPECT_NE(renewed.output.find("already held the database"), std::string::npos) << renewed.output;
    const std::string back = folder_.File("back.bin");
    ASSERT_EQ(RunTool("read 0x004E0000 10 --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(Text(ReadBytes(back)), today);

    // A different database: compared, written, read back, stamped.
    ASSERT_EQ(RunTool("write-raw " + oldDate + " --virtual=" + flash).exitCode, 0);
    packed[2500] ^= 0xFF;
    WriteDfu(database, 1, 0x00510000, packed);
    const ToolRun written = RunTool("write " + database + " --virtual=" + flash);
    ASSERT_EQ(written.exitCode, 0) << written.output;
    for (const char* phase : {"compare: done", "erase: done", "write: done", "verify: done", "date stamp: done"})
        EXPECT_NE(written.output.find(phase), std::string::npos) << phase << "\n" << written.output;
    ASSERT_EQ(RunTool("read 0x004E0000 10 --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(Text(ReadBytes(back)), today);
    ASSERT_EQ(RunTool("read 0x00510000 3000 --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(ReadBytes(back), packed);
}

// One whole update against the simulated server, then the same again (the
// Orvo holds the database already), then a server that answers an HTML page.
TEST_F(IdentifyWriteTool, UpdateWritesWhatDownloadAndConvertMakeAndTodaysDate) {
    const ServerProcess server("--records 3000");
    ASSERT_FALSE(server.host.empty()) << "orvo-sim server did not start";
    const std::string flash = folder_.File("flash.bin");
    const std::string today = TodayStamp();
    const ToolRun update = RunProgramBounded("orvo-tool", "update --host " + server.host + " --virtual=" + flash, 120);
    ASSERT_EQ(update.exitCode, 0) << update.output;
    EXPECT_NE(update.output.find("updated OR12345"), std::string::npos) << update.output;
    // Piped, one line a phase, though the write and its read-back run twice
    // (the header block goes last).
    for (const std::string phase : {"identify", "download", "convert", "compare", "erase", "write", "verify",
                                    "date stamp"}) {
        const std::string lines = "\n" + update.output;
        const auto line = lines.find("\n" + phase + ": done");
        EXPECT_NE(line, std::string::npos) << phase << "\n" << update.output;
        EXPECT_EQ(lines.find("\n" + phase + ": ", line + 1), std::string::npos) << phase << "\n" << update.output;
    }
    // On a terminal one line rewrites itself: the step and its bar.
    const ToolRun terminal = RunShellCommand("script -qec 'timeout 120 " + TestProgram("orvo-tool") +
                                             " update --host " + server.host +
                                             " --virtual=" + folder_.File("terminal.bin") + "' /dev/null");
    EXPECT_EQ(terminal.exitCode, 0) << terminal.output;
    EXPECT_NE(terminal.output.find("\rwrite 7/9  ["), std::string::npos) << terminal.output;
    EXPECT_NE(terminal.output.find("\rdate stamp 9/9  [####################] 100%"), std::string::npos)
        << terminal.output;
    EXPECT_EQ(terminal.output.find("write: done"), std::string::npos) << terminal.output;

    // The same bytes as the tool's own download and conversion.
    ASSERT_EQ(RunTool("download OR12345 --host " + server.host + " --folder " + folder_.Path().string()).exitCode, 0);
    const std::string base = folder_.File("tesselDB");
    ASSERT_EQ(RunTool("convert " + base).exitCode, 0);
    const auto packed = ReadBytes(base + ".bin");
    ASSERT_GT(packed.size(), 5u);
    const std::string back = folder_.File("back.bin");
    ASSERT_EQ(RunTool("read 0x00510000 " + std::to_string(packed.size()) + " --out " + back + " --virtual=" + flash)
                  .exitCode,
              0);
    EXPECT_EQ(ReadBytes(back), packed);
    ASSERT_EQ(RunTool("read 0x004E0000 10 --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(Text(ReadBytes(back)), today);

    const ToolRun again = RunProgramBounded("orvo-tool", "update --host " + server.host + " --virtual=" + flash, 120);
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_NE(again.output.find("OR12345 already held this database"), std::string::npos) << again.output;

    // An HTML page instead of a database, and no server at all: nothing is
    // written, and the cause is said once. The page is converted (into no
    // record); no conversion is shown for a download that brought nothing.
    const ServerProcess html("--fault html");
    ASSERT_FALSE(html.host.empty());
    const auto before = ReadBytes(flash);
    for (const std::string& host : {html.host, std::string("127.0.0.1:1")}) {
        const ToolRun refused = RunProgramBounded("orvo-tool", "update --host " + host + " --virtual=" + flash, 120);
        EXPECT_EQ(refused.exitCode, 1) << refused.output;
        const std::string cause = Resources().String(ResourceId::DownloadErrorText);
        const auto first = refused.output.find(cause);
        EXPECT_NE(first, std::string::npos) << refused.output;
        EXPECT_EQ(refused.output.find(cause, first + 1), std::string::npos) << refused.output;
        EXPECT_NE(refused.output.find("the update of OR12345 failed"), std::string::npos) << refused.output;
        EXPECT_EQ(refused.output.find("convert: failed") == std::string::npos, host != html.host) << refused.output;
        EXPECT_EQ(ReadBytes(flash), before) << "the flash is left as it was";
    }

    EXPECT_EQ(RunTool("update --host").exitCode, 2);
    EXPECT_EQ(RunTool("update --virtual --bogus").exitCode, 2);
}

// A far smaller database waits for --accept-smaller; the database it replaces
// is kept, and restore brings it back with its own date stamp, byte for byte.
TEST_F(IdentifyWriteTool, UpdateKeepsWhatItReplacesAndRestoreBringsItBack) {
    const ServerProcess big("--records 20000");
    const ServerProcess small("--records 4000");
    ASSERT_FALSE(big.host.empty() || small.host.empty()) << "orvo-sim server did not start";
    const std::string flash = folder_.File("flash.bin");
    const std::string history = " --history " + folder_.File("history.sqlite") + " --virtual=" + flash;
    ASSERT_EQ(RunProgramBounded("orvo-tool", "update --host " + big.host + history, 120).exitCode, 0);
    const std::string oldDate = folder_.File("date.dfu");
    WriteDfu(oldDate, 1, 0x004E0000, {'0', '1', '.', '1', '2', '.', '2', '6', '\r', '\n'});
    ASSERT_EQ(RunTool("write-raw " + oldDate + " --virtual=" + flash).exitCode, 0);
    const ToolRun identify = RunTool("identify --virtual=" + flash);
    EXPECT_NE(identify.output.find("database: Database of 01.12.26, 20,000 cameras"), std::string::npos)
        << identify.output;
    const auto first = ReadBytes(flash);
    const std::string kept = folder_.File("kept.bin");
    const std::string packed = std::to_string(5 + 20000 * 14);
    ASSERT_EQ(RunTool("read 0x00510000 " + packed + " --out " + kept + " --virtual=" + flash).exitCode, 0);

    const ToolRun refused = RunToolErrors("update --host " + small.host + history);
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("fewer than half"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("run again with -y (or --accept-smaller) to write it"), std::string::npos)
        << refused.output;
    EXPECT_EQ(ReadBytes(flash), first) << "nothing was erased";
    // -y answers the question; with --json stdout holds the cycle's record alone.
    const ToolRun accepted =
        RunShellCommand("timeout 120 " + TestProgram("orvo-tool") + " update -y --json --host " +
                        small.host + history + " 2>/dev/null");
    ASSERT_EQ(accepted.exitCode, 0) << accepted.output;
    EXPECT_TRUE(IsValidJson(accepted.output)) << accepted.output;
    EXPECT_NE(accepted.output.find("\"outcome\": \"succeeded\""), std::string::npos) << accepted.output;
    EXPECT_NE(accepted.output.find("\"database_before\": true, \"date_before\": \"2026-12-01\", "
                                   "\"records_before\": 20000, \"database_after\": true, \"date_after\": \"" +
                                   TodayIso() + "\", \"records_after\": 4000"),
              std::string::npos)
        << accepted.output;

    const ToolRun list = RunTool("restore --list" + history);
    EXPECT_NE(list.output.find("1  Database of 01.12.26, 20,000 cameras"), std::string::npos) << list.output;
    const ToolRun listJson = RunProgram("orvo-tool", "restore --list --json" + history, "2>/dev/null");
    EXPECT_TRUE(IsValidJson(listJson.output)) << listJson.output;
    EXPECT_NE(listJson.output.find("{\"number\": 1, \"serial\": \"OR12345\", \"database\": true, "
                                   "\"date\": \"2026-12-01\", \"records\": 20000, \"kept\": \"20"),
              std::string::npos)
        << listJson.output;
    const ToolRun restore = RunProgramBounded("orvo-tool", "restore --pick 1" + history, 120);
    ASSERT_EQ(restore.exitCode, 0) << restore.output;
    const std::string back = folder_.File("back.bin");
    ASSERT_EQ(RunTool("read 0x004E0000 10 --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(Text(ReadBytes(back)), "01.12.26\r\n");
    ASSERT_EQ(RunTool("read 0x00510000 " + packed + " --out " + back + " --virtual=" + flash).exitCode, 0);
    EXPECT_EQ(ReadBytes(back), ReadBytes(kept));

    // A file goes in as `convert` makes it, and stays as it was.
    const std::string text = folder_.File("mine.txt");
    ASSERT_EQ(RunProgram("orvo-sim", "gen-db --records 12000 --seed 3 -o " + text).exitCode, 0);
    const auto original = ReadBytes(text);
    WriteBytes(folder_.File("conv.txt"), original);
    ASSERT_EQ(RunTool("convert " + folder_.File("conv")).exitCode, 0);
    const auto converted = ReadBytes(folder_.File("conv.bin"));
    const ToolRun fromFile = RunProgramBounded("orvo-tool", "update --from " + text + history, 120);
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.output;
    ASSERT_EQ(RunTool("read 0x00510000 " + std::to_string(converted.size()) + " --out " + back + " --virtual=" + flash)
                  .exitCode,
              0);
    EXPECT_EQ(ReadBytes(back), converted);
    EXPECT_EQ(ReadBytes(text), original);

    const ToolRun records = RunTool("history --json --file " + folder_.File("history.sqlite"));
    // The refused database left the Orvo as it was, and the record says so.
    for (const char* expected : {"\"source\": \"restore\"", "\"outcome\": \"kept\"", "fewer than half",
                                 "\"records_before\": 20000, \"database_after\": true, "
                                 "\"date_after\": \"2026-12-01\", \"records_after\": 20000",
                                 "\"records_before\": 4000", "\"records_after\": 20000",
                                 "\"source\": \"file\""})
        EXPECT_NE(records.output.find(expected), std::string::npos) << expected << "\n" << records.output;
}

// `orvo-tool update` with its output piped, running until the database is
// being written (piped, a phase's line comes when it ends: after the erase
// the database is being written); then `signal` goes to it. What it said
// and its exit code.
ToolRun SignalUpdateMidWrite(const std::string& options, int signal) {
    const std::string command = "echo $$; exec " + TestProgram("orvo-tool") + " update" + options +
                                " --virtual-timing=real 2>&1";
    ToolRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char line[512];
    int pid = 0;
    if (std::fgets(line, sizeof line, pipe) != nullptr)
        pid = std::atoi(line);
    bool writing = false;
    while (!writing && std::fgets(line, sizeof line, pipe) != nullptr) {
        run.output += line;
        writing = std::string(line).find("erase: done") != std::string::npos;
    }
    if (pid > 0)
        ::kill(pid, writing ? signal : SIGKILL);
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        run.output += line;
    const int status = ::pclose(pipe);
    if (!writing)
        run.output += "\n(the update never reached its write)";
    run.exitCode = writing && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// What comes in from files is checked before anything is erased: a FIFO,
// a text without a camera record, a kept backup changed since it was kept.
TEST_F(IdentifyWriteTool, UpdateAndRestoreRefuseUnusableInputsWithoutTouchingTheOrvo) {
    const ServerProcess server("--records 3000");
    ASSERT_FALSE(server.host.empty()) << "orvo-sim server did not start";
    const std::string flash = folder_.File("flash.bin");
    const std::string historyFile = folder_.File("history.sqlite");
    const std::string history = " --history " + historyFile + " --virtual=" + flash;
    ASSERT_EQ(RunProgramBounded("orvo-tool", "update --host " + server.host + history, 120).exitCode, 0);
    const auto written = ReadBytes(flash);

    const std::string fifo = folder_.File("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ToolRun fromFifo = RunToolErrors("update --from " + fifo + history);
    EXPECT_EQ(fromFifo.exitCode, 1) << fromFifo.output;
    EXPECT_NE(fromFifo.output.find(fifo + " is a FIFO, not a regular file"), std::string::npos) << fromFifo.output;

    const std::string junk = folder_.File("junk.txt");
    WriteBytes(junk, {'n', 'o', ' ', 'd', 'b', '\n'});
    const ToolRun fromJunk = RunToolErrors("update --from " + junk + history);
    EXPECT_EQ(fromJunk.exitCode, 1) << fromJunk.output;
    EXPECT_NE(fromJunk.output.find("it is not a database text"), std::string::npos) << fromJunk.output;
    EXPECT_EQ(fromJunk.output.find(Resources().String(ResourceId::DownloadErrorText)), std::string::npos)
        << "a local file is not the connection's fault";
    EXPECT_EQ(ReadBytes(flash), written);

    // A backup to restore, then one byte of it changed in the history file.
    const ServerProcess other("--records 2000");
    ASSERT_EQ(RunProgramBounded("orvo-tool", "update --accept-smaller --host " + other.host + history, 120).exitCode,
              0);
    const auto replaced = ReadBytes(flash);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(historyFile.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE backups SET database = substr(database, 1, 999) || X'A5' || "
                               "substr(database, 1001)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
    const ToolRun restore = RunToolErrors("restore --pick 1" + history);
    EXPECT_EQ(restore.exitCode, 1) << restore.output;
    EXPECT_NE(restore.output.find("damaged"), std::string::npos) << restore.output;
    EXPECT_EQ(ReadBytes(flash), replaced) << "the Orvo keeps its database";
}

// A kill -9 in the middle of the write leaves that cycle running in the
// history: the next run finds it interrupted, and its own update works.
TEST_F(IdentifyWriteTool, AnUpdateKilledMidWriteIsInterruptedInTheHistory) {
    const ServerProcess server("--records 20000");
    ASSERT_FALSE(server.host.empty()) << "orvo-sim server did not start";
    const std::string flash = folder_.File("flash.bin");
    const std::string historyFile = folder_.File("history.sqlite");
    const std::string options = " --host " + server.host + " --history " + historyFile + " --virtual=" + flash;
    const ToolRun killed = SignalUpdateMidWrite(options, SIGKILL);
    ASSERT_EQ(killed.output.find("never reached"), std::string::npos) << killed.output;

    const ToolRun next = RunProgramBounded("orvo-tool", "update" + options, 120);
    EXPECT_EQ(next.exitCode, 0) << next.output;
    const ToolRun records = RunTool("history --json --file " + historyFile);
    EXPECT_NE(records.output.find("\"outcome\": \"interrupted\""), std::string::npos) << records.output;
    EXPECT_NE(records.output.find("\"outcome\": \"succeeded\""), std::string::npos) << records.output;
}

// Ctrl-C (and SIGTERM) mid-write stop the cycle as closing the window does:
// the history has it interrupted at once, stderr says what the Orvo is left
// with, and the exit code is the signal's.
TEST_F(IdentifyWriteTool, CtrlCMidWriteSaysWhatTheOrvoHoldsAndRecordsTheCycleAtOnce) {
    const ServerProcess server("--records 20000");
    ASSERT_FALSE(server.host.empty()) << "orvo-sim server did not start";
    const std::string historyFile = folder_.File("history.sqlite");
    const std::string options =
        " --host " + server.host + " --history " + historyFile + " --virtual=" + folder_.File("flash.bin");
    for (const int signal : {SIGINT, SIGTERM}) {
        const ToolRun stopped = SignalUpdateMidWrite(options, signal);
        EXPECT_EQ(stopped.exitCode, 128 + signal) << stopped.output;
        EXPECT_EQ(stopped.output.find("failed"), std::string::npos) << stopped.output;
        EXPECT_NE(stopped.output.find("orvo-tool update: interrupted: the Orvo was being written: its database is "
                                      "incomplete and it has no date stamp"),
                  std::string::npos)
            << stopped.output;
        const ToolRun records = RunTool("history --json --file " + historyFile);
        EXPECT_EQ(records.output.find("\"outcome\": \"running\""), std::string::npos) << records.output;
        EXPECT_NE(records.output.find("\"outcome\": \"interrupted\""), std::string::npos) << records.output;
    }
}

}  // namespace

// orvo-tool identify and write, which run the updater's own identification
// and device write, their events shown on the console and the view's timers
// ticking on a thread.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "device/dfu/dfu_files_format.h"
#include "support/scratch_files.h"
#include "support/today.h"
#include "support/tool_run.h"

namespace {

ToolRun RunTool(const std::string& arguments) { return RunProgram("orvo-tool", arguments); }
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
    void SetUp() override {
        if (!std::filesystem::exists(std::string(ORVO_TEST_BIN_DIR) + "/orvo-tool"))
            GTEST_SKIP() << "orvo-tool not built";
    }
    ScratchFolder folder_{"identify_write_tool"};
};

TEST_F(IdentifyWriteTool, IdentifiesAFreshVirtualOrvo) {
    const ToolRun run = RunTool("identify --virtual");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("serial: OR12345\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("identity text: H2026010100000000001\n"), std::string::npos);
    EXPECT_NE(run.output.find("product name: Orvo\n"), std::string::npos);
    EXPECT_NE(run.output.find("verdict: accepted\n"), std::string::npos);
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

}  // namespace

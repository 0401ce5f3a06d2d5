// orvo-tool identify and write, which run the updater's own identification
// and device write with a console progress bar and a timer-driven monitor.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "device/dfu/dfu_files_format.h"
#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

ToolRun RunTool(const std::string& arguments) { return RunProgram("orvo-tool", arguments); }

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
}

TEST_F(IdentifyWriteTool, WrittenIdentityIsWhatTheNextRunJudges) {
    const std::string flash = folder_.File("flash.bin");
    const std::string dfu = folder_.File("id.dfu");
    // An erased identity block: seven 0xFF bytes as serial, no texts.
    WriteDfu(dfu, 1, 0x004F0000, std::vector<std::uint8_t>(56, 0xFF));
    const ToolRun write = RunTool("write " + dfu + " --virtual=" + flash);
    ASSERT_EQ(write.exitCode, 0) << write.output;
    EXPECT_NE(write.output.find("100%\n"), std::string::npos);

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

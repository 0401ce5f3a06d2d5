#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "device/dfu/dfu_files_format.h"
#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

ToolRun RunDfuInfo(const std::string& path) { return RunProgram("orvo-tool", "dfu-info '" + path + "'"); }

std::vector<std::uint8_t> DateFile() {
    DfuFileContents contents;
    contents.images.push_back({1, "", {{0x004E0000, {'0', '6', '.', '1', '2', '.', '2', '6', '\r', '\n'}}}});
    std::vector<std::uint8_t> bytes;
    DfuFileFormat::Serialize(contents, bytes);
    return bytes;
}

}  // namespace

TEST(DfuInfo, ShowsSuffixCrcImagesAndElements) {
    ScratchFolder folder("dfu_info");
    const std::string path = folder.File("Date.dfu");
    WriteBytes(path, DateFile());
    const ToolRun run = RunDfuInfo(path);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("idVendor 0x0000, idProduct 0x0000, bcdDevice 0x0000, bcdDFU 0x0100"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(": good"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("image 0: alternate setting 1, name \"\", 1 element(s)"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("element 0: address 0x004E0000, size 10 bytes"), std::string::npos) << run.output;
}

TEST(DfuInfo, FailsOnMalformedFiles) {
    ScratchFolder folder("dfu_info_bad");
    auto badCrc = DateFile();
    badCrc[20] ^= 0x40;
    WriteBytes(folder.File("crc.dfu"), badCrc);
    const ToolRun crc = RunDfuInfo(folder.File("crc.dfu"));
    EXPECT_NE(crc.exitCode, 0);
    EXPECT_NE(crc.output.find("BAD"), std::string::npos) << crc.output;

    auto cut = DateFile();
    cut.pop_back();
    WriteBytes(folder.File("cut.dfu"), cut);
    EXPECT_NE(RunDfuInfo(folder.File("cut.dfu")).exitCode, 0);
    EXPECT_NE(RunDfuInfo(folder.File("missing.dfu")).exitCode, 0);
}

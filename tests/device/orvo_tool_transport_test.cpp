#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"
#include "support/scratch_files.h"
#include "support/tool_run.h"
#include "support/transport_rig.h"

// orvo-tool's device commands against a virtual Orvo whose flash lives in a
// file: what one run writes, the next run reads back.

namespace {

ToolRun RunTool(const std::string& arguments) { return RunProgram("orvo-tool", arguments); }

class OrvoToolTransport : public ::testing::Test {
protected:
    ScratchFolder folder_{"tool_transport"};
};

TEST_F(OrvoToolTransport, WriteThenReadBackThroughAFlashFile) {
    const auto payload = PatternBytes(70000, 11);
    DfuHandle image = MakeImage({{0x00510000, payload}});
    DfuHandle file = 0;
    const std::string dfu = folder_.File("db.dfu");
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(dfu.c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    STDFUFILES_DestroyImage(&image);

    const std::string flash = folder_.File("flash.bin");
    const auto write = RunTool("write " + dfu + " --virtual=" + flash);
    ASSERT_EQ(write.exitCode, 0) << write.output;
    const auto read = RunTool("read 0x00510000 70000 --out " + folder_.File("back.bin") + " --virtual=" + flash);
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_EQ(ReadBytes(folder_.File("back.bin")), payload);

    // A fresh device (no file) has its identity block.
    const auto id = RunTool("read 0x004F0000 56 --out " + folder_.File("id.bin") + " --virtual");
    ASSERT_EQ(id.exitCode, 0) << id.output;
    const auto block = ReadBytes(folder_.File("id.bin"));
    ASSERT_EQ(block.size(), 56u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[40])), "Orvo");
}

TEST_F(OrvoToolTransport, DevicesListsTheVirtualOrvoAndReadOutsideTheMapFails) {
    const auto devices = RunTool("devices --virtual");
    EXPECT_EQ(devices.exitCode, 0);
    EXPECT_NE(devices.output.find("USB\\VID_1209&PID_D0F0\\BUS_001&PORT_1\tOrvo in DFU mode"), std::string::npos)
        << devices.output;

    const auto outside = RunTool("read 0x00800000 16 --out " + folder_.File("x.bin") + " --virtual");
    EXPECT_EQ(outside.exitCode, 1);
    EXPECT_NE(outside.output.find("outside the device's memory map"), std::string::npos) << outside.output;
    // Writing there is told the same way, in one line, before anything is erased.
    DfuHandle image = MakeImage({{0x00800000, PatternBytes(64, 3)}});
    DfuHandle file = 0;
    const std::string dfu = folder_.File("outside.dfu");
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(dfu.c_str(), &file, 0, 0, 0), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFU_NOERROR);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file), STDFU_NOERROR);
    STDFUFILES_DestroyImage(&image);
    const auto write = RunTool("write " + dfu + " --virtual");
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_EQ(write.output, "orvo-tool write: " + dfu + ": the element at 0x00800000-0x0080003F lies outside the "
                            "device's memory map\n");
    EXPECT_EQ(RunTool("read 0x0 --out x --virtual").exitCode, 2);
    EXPECT_EQ(RunTool("write --virtual").exitCode, 2);
}

}  // namespace

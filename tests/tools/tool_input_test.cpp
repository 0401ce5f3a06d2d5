// Inputs the tools must refuse rather than hang, abort or exhaust memory on:
// directories, devices, FIFOs without a writer and files far larger than
// their format allows. Each is one line naming the path and the reason, exit
// code 1, and never a device status report.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

ToolRun RunBounded(const std::string& program, const std::string& arguments) {
    return RunProgramBounded(program, arguments);
}

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class ToolInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkfifo(Fifo().c_str(), 0600), 0);
        // Sparse: 300 MiB that take no disk space.
        { WriteBytes(Huge(), {}); }
        std::filesystem::resize_file(Huge(), 300ull * 1024 * 1024);
    }
    std::string Fifo() const { return folder_.File("fifo"); }
    std::string Huge() const { return folder_.File("huge.dfu"); }
    std::string Dir() const { return folder_.Path().string(); }

    ScratchFolder folder_{"tool_input"};
};

}  // namespace

TEST_F(ToolInput, DfuFileReadersRefuseWhatIsNotARegularFileOfDfuSize) {
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {Dir(), "is a directory"},
        {"/dev/zero", "is a device"},
        {Fifo(), "is a FIFO"},
        {Huge(), "is too large"},
        {folder_.File("nosuch.dfu"), "cannot open " + folder_.File("nosuch.dfu") + ": No such file"},
    };
    for (const Case& c : cases) {
        const ToolRun info = RunBounded("orvo-tool", "dfu-info '" + c.path + "'");
        EXPECT_EQ(info.exitCode, 1) << c.path << "\n" << info.output;
        EXPECT_TRUE(Has(info.output, c.reason)) << info.output;
        EXPECT_EQ(LineCount(info.output), 1u) << info.output;

        const ToolRun write = RunBounded("orvo-tool", "write '" + c.path + "' --virtual");
        EXPECT_EQ(write.exitCode, 1) << c.path << "\n" << write.output;
        EXPECT_TRUE(Has(write.output, c.reason)) << write.output;
        EXPECT_FALSE(Has(write.output, "Error Code")) << write.output;
    }
}

TEST_F(ToolInput, WriteNamesAFileThatIsNoDfuFileAsSuch) {
    const std::string zero = folder_.File("zero.dfu");
    WriteBytes(zero, std::vector<std::uint8_t>(4096, 0));
    const ToolRun run = RunBounded("orvo-tool", "write '" + zero + "' --virtual");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, zero + " is not a DFU file: ")) << run.output;
    EXPECT_FALSE(Has(run.output, "Error Code")) << run.output;
    EXPECT_FALSE(Has(run.output, "State")) << run.output;
}

TEST_F(ToolInput, FlashAndTextFilesMustBeRegularFiles) {
    // A flash file is loaded before and saved after the command: neither may
    // block on a FIFO or swallow a device.
    for (const std::string& flash : {Fifo(), std::string("/dev/zero"), Dir()}) {
        const ToolRun run = RunBounded("orvo-tool", "identify --virtual='" + flash + "'");
        EXPECT_EQ(run.exitCode, 1) << flash << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, flash + " is a ")) << run.output;
    }
    // convert reads BASE.txt: a FIFO by that name is refused, not waited on.
    ASSERT_EQ(::mkfifo(folder_.File("piped.txt").c_str(), 0600), 0);
    const ToolRun convert = RunBounded("orvo-tool", "convert '" + folder_.File("piped") + "'");
    EXPECT_EQ(convert.exitCode, 1) << convert.output;
    EXPECT_TRUE(Has(convert.output, "piped.txt is a FIFO")) << convert.output;
}

TEST_F(ToolInput, DemoRefusesAFlashFileItCouldNotKeep) {
    if (!std::filesystem::exists(std::string(ORVO_TEST_BIN_DIR) + "/orvo-demo"))
        GTEST_SKIP() << "orvo-demo not built";
    const std::string small = folder_.File("small.bin");
    WriteBytes(small, {1, 2, 3});
    const ToolRun run = RunBounded("orvo-demo", "--headless --flash '" + small + "'");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, "is not a flash image")) << run.output;
    // Refused, not overwritten with an erased flash.
    EXPECT_EQ(ReadBytes(small), (std::vector<std::uint8_t>{1, 2, 3}));

    const ToolRun fifo = RunBounded("orvo-demo", "--headless --flash '" + Fifo() + "'");
    EXPECT_EQ(fifo.exitCode, 1) << fifo.output;
    EXPECT_TRUE(Has(fifo.output, "is a FIFO")) << fifo.output;
}

// Inputs the tools must refuse rather than hang, abort or exhaust memory on:
// directories, devices, FIFOs without a writer and files far larger than
// their format allows. Each is one line naming the path and the reason, exit
// code 1, and never a device status report.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/scratch_files.h"
#include "support/tool_run.h"
#include "update_server.h"

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
    if (!ProgramInThisBuild("orvo-demo"))
        GTEST_SKIP() << "built without the Qt front end";
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

    // Where the flash could never be kept: told at the start, not after the run.
    const std::string lost = folder_.File("missing/dir/flash.bin");
    const ToolRun missing = RunBounded("orvo-demo", "--headless --flash '" + lost + "'");
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
    EXPECT_EQ(missing.output, "orvo-demo: " + lost + ": the folder " + folder_.File("missing/dir") +
                                  " does not exist\n");
}

// An answer that ends only when the connection closes may have been cut off:
// nothing is stored and the reason goes to stderr; the file an earlier
// download left stays as it was, also when no server answers. The same text
// with its length replaces it.
TEST_F(ToolInput, DownloadStoresOnlyAnAnswerWhoseEndIsKnown) {
    const std::string folder = folder_.File("download");
    std::filesystem::create_directory(folder);
    const std::string earlier = folder + "/tesselDB.txt";
    WriteBytes(earlier, {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
    const std::string command = "download 1234567 --folder '" + folder + "' --host ";
    UpdateServerOptions options;
    options.fault = ServerFault::NoLength;
    SimUpdateServer unframed(options);
    ASSERT_TRUE(unframed.Start());
    const ToolRun refused = RunProgram("orvo-tool", command + unframed.HostAndPort(), "2>&1 >/dev/null");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_TRUE(Has(refused.output, "orvo-tool download: no length: ")) << refused.output;
    EXPECT_EQ(RunProgram("orvo-tool", command + "127.0.0.1:1").exitCode, 1);
    EXPECT_EQ(ReadBytes(earlier), (std::vector<std::uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
        << "nothing else is left behind";

    SimUpdateServer framed;
    ASSERT_TRUE(framed.Start());
    const ToolRun stored = RunProgram("orvo-tool", command + framed.HostAndPort());
    EXPECT_EQ(stored.exitCode, 0) << stored.output;
    const std::string text = framed.DatabaseTextFor("1234567");
    EXPECT_EQ(ReadBytes(folder + "/tesselDB.txt"), std::vector<std::uint8_t>(text.begin(), text.end()));
}

namespace {

// A folder like /tmp: anyone may create entries, only their owner remove them.
class SharedTemporaryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(Shared());
        ASSERT_EQ(::chmod(Shared().c_str(), 01777), 0);
        WriteBytes(Victim(), {'k', 'e', 'e', 'p'});
    }
    std::string Shared() const { return folder_.File("shared"); }
    std::string InShared(const std::string& name) const { return Shared() + "/" + name; }
    std::string Victim() const { return folder_.File("victim"); }
    // What another local user (nobody) leaves for us: a link to a file of ours.
    void PlantLink(const std::string& name) const {
        ASSERT_EQ(::symlink(Victim().c_str(), InShared(name).c_str()), 0);
        ASSERT_EQ(::lchown(InShared(name).c_str(), 65534, 65534), 0);
    }
    ToolRun Run(const std::string& program, const std::string& arguments) const {
        return RunShellCommand("TMPDIR='" + Shared() + "' timeout 60 " + std::string(ORVO_TEST_BIN_DIR) + "/" +
                               program + " " + arguments + " 2>&1");
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Shared()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchFolder folder_{"shared_tmp"};
};

}  // namespace

// Every file a tool writes refuses a link planted in its place, and a FIFO
// there is neither opened nor replaced; the tools' own working folders are
// gone afterwards.
TEST_F(SharedTemporaryFolder, ToolsWriteNothingThroughPlantedEntriesAndLeaveNothing) {
    for (const char* name : {"out.bin", "flash.bin", "capture.pcap", "gen.txt"})
        PlantLink(name);
    ASSERT_EQ(::mkfifo(InShared("fifo.bin").c_str(), 0666), 0);
    const std::pair<const char*, std::string> runs[] = {
        {"orvo-tool", "read 0 16 --out '" + InShared("out.bin") + "' --virtual"},
        {"orvo-tool", "identify --virtual='" + InShared("flash.bin") + "'"},
        {"orvo-tool", "identify --virtual --capture '" + InShared("capture.pcap") + "'"},
        {"orvo-sim", "gen-db --records 10 -o '" + InShared("gen.txt") + "'"},
    };
    for (const auto& [program, arguments] : runs) {
        const ToolRun run = Run(program, arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, "is a symbolic link; nothing is written through one")) << run.output;
    }
    const ToolRun fifo = Run("orvo-tool", "read 0 16 --out '" + InShared("fifo.bin") + "' --virtual");
    EXPECT_EQ(fifo.exitCode, 1) << fifo.output;
    EXPECT_TRUE(Has(fifo.output, "is not a regular file")) << fifo.output;
    const ToolRun identify = Run("orvo-tool", "identify --virtual");
    EXPECT_EQ(identify.exitCode, 0) << identify.output;

    EXPECT_EQ(ReadBytes(Victim()), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    struct stat planted {};
    ASSERT_EQ(::lstat(InShared("fifo.bin").c_str(), &planted), 0);
    EXPECT_TRUE(S_ISFIFO(planted.st_mode));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"capture.pcap", "fifo.bin", "flash.bin", "gen.txt", "out.bin"}));
}

// Ended by a signal in the middle of a write, the tool still removes its
// working folder (private: mode 0700, a name nobody could guess).
TEST_F(SharedTemporaryFolder, ToolEndedBySigtermLeavesNothing) {
    const std::string base = folder_.File("db");
    ASSERT_EQ(RunProgram("orvo-sim", "gen-db --records 2000 -o '" + base + ".txt'").exitCode, 0);
    ASSERT_EQ(RunProgram("orvo-tool", "convert '" + base + "'").exitCode, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("TMPDIR", Shared().c_str(), 1);
        const std::string tool = std::string(ORVO_TEST_BIN_DIR) + "/orvo-tool";
        const std::string dfu = base + ".dfu";
        ::execl(tool.c_str(), tool.c_str(), "write", dfu.c_str(), "--virtual", "--virtual-timing=100",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The folder appears once the session is open; the write then takes
    // minutes at this timing, so the signal finds it under way.
    std::vector<std::string> seen;
    for (int tries = 0; tries < 600 && seen.empty(); ++tries) {
        for (const std::string& name : Entries()) {
            struct stat folder {};
            if (name.rfind("orvo-tool-", 0) == 0 && ::stat(InShared(name).c_str(), &folder) == 0 &&
                !std::filesystem::is_empty(InShared(name)))
                seen.push_back(name + " " + std::to_string(folder.st_mode & 07777));
        }
        if (seen.empty())
            ::usleep(100 * 1000);
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(seen.size(), 1u) << "no working folder with files appeared";
    EXPECT_EQ(seen[0].substr(seen[0].find(' ') + 1), "448") << seen[0];  // 0700
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(Entries().empty()) << ::testing::PrintToString(Entries());
}

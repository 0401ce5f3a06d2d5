#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <memory>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

ToolRun RunTool(const std::string& program, const std::string& arguments) {
    return RunProgram(program, arguments, "2>/dev/null");  // standard output only
}

bool AnyBufferFile(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("FileBuffer", 0) == 0)
            return true;
    return false;
}

TEST(ConvertTool, GeneratedTextConvertsAndPrintsTheBase) {
    ScratchFolder folder("convert_tool");
    const std::string base = folder.File("tesselDB");
    ASSERT_EQ(RunTool("orvo-sim", "gen-db --records 20000 --order descending --seed 3 --crlf -o '" + base + ".txt'")
                  .exitCode,
              0);
    const ToolRun run = RunTool("orvo-tool", "convert '" + base + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, base + "\n");
    EXPECT_EQ(std::filesystem::file_size(base + ".bin"), 5u + 14u * 20000u);
    EXPECT_TRUE(std::filesystem::exists(base + ".dfu"));
    EXPECT_FALSE(AnyBufferFile(folder.Path()));
    EXPECT_FALSE(AnyBufferFile(std::filesystem::current_path()));
}

TEST(ConvertTool, FailureResultsExitNonZero) {
    ScratchFolder folder("convert_tool_fail");
    const std::string base = folder.File("tesselDB");
    ToolRun run = RunTool("orvo-tool", "convert '" + base + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "DB FILE OPEN ERROR\n");

    WriteBytes(base + ".txt", std::vector<std::uint8_t>{'n', 'o', 'n', 'e'});
    run = RunTool("orvo-tool", "convert '" + base + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "\n");  // the empty result: no valid record

    EXPECT_EQ(RunTool("orvo-tool", "convert").exitCode, 2);
    EXPECT_EQ(RunTool("orvo-sim", "gen-db --records lots -o x").exitCode, 2);
}

// A disk that fills up during the conversion is named on stderr. Where a
// small file system can be mounted it is a real full disk; elsewhere a file
// size limit makes the writes fail, and the reason is still told.
TEST(ConvertTool, FullDiskIsToldOnStderr) {
    ScratchFolder folder("convert_tool_full");
    const std::string disk = folder.File("disk");
    std::filesystem::create_directory(disk);
    const bool mounted = ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") == 0;
    const std::string base = disk + "/tesselDB";
    ASSERT_EQ(RunTool("orvo-sim", "gen-db --records 3000 -o '" + folder.File("text.txt") + "'").exitCode, 0);
    std::filesystem::copy_file(folder.File("text.txt"), base + ".txt");  // 42 KB: its buffer copy does not fit
    ToolRun run;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (!mounted)
            limit = std::make_unique<FileSizeLimit>(4096);
        run = RunProgram("orvo-tool", "convert '" + base + "'", "2>&1 >/dev/null");
    }
    if (mounted)
        ::umount(disk.c_str());
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const std::string reason = mounted ? "orvo-tool convert: the disk holding " + disk + " is full: "
                                       : "orvo-tool convert: could not write the buffer files, ";
    EXPECT_EQ(run.output.rfind(reason, 0), 0u) << run.output;
}

TEST(ConvertTool, SaysHowManyRecordsItIgnoredAndSkipped) {
    ScratchFolder folder("convert_tool_counts");
    const std::string base = folder.File("tesselDB");
    // 150,058 good records, then 2 that no record decoder takes (records
    // 150,059 and 150,060, the last ones the conversion reads), then 3 more
    // beyond its limit.
    ASSERT_EQ(RunTool("orvo-sim", "gen-db --records 150058 --seed 5 -o '" + base + ".txt'").exitCode, 0);
    std::vector<std::uint8_t> text = ReadBytes(base + ".txt");
    for (const char* extra : {"bad", "worse", "beyond", "the", "limit"})
        text.insert(text.end(), extra, extra + std::strlen(extra) + 1);
    WriteBytes(base + ".txt", text);

    const ToolRun run = RunProgram("orvo-tool", "convert '" + base + "'");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("150058 records packed"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("3 records beyond the limit of 150060 ignored"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("2 records skipped as invalid"), std::string::npos) << run.output;
    EXPECT_EQ(std::filesystem::file_size(base + ".bin"), 5u + 14u * 150058u);

    // A text within the limit and without bad records says neither.
    ASSERT_EQ(RunTool("orvo-sim", "gen-db --records 100 -o '" + base + ".txt'").exitCode, 0);
    const ToolRun clean = RunProgram("orvo-tool", "convert '" + base + "'");
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_EQ(clean.output.find("ignored"), std::string::npos) << clean.output;
    EXPECT_EQ(clean.output.find("invalid"), std::string::npos) << clean.output;
}

}  // namespace

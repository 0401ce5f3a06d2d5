#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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

}  // namespace

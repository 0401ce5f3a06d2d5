#include <gtest/gtest.h>
#include <sys/wait.h>

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

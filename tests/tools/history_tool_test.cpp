#include <gtest/gtest.h>

#include <string>

#include "history/history_store.h"
#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

TEST(HistoryTool, PrintsThePreparedHistoryAsJsonNewestFirst) {
    ScratchFolder folder("history_tool");
    const std::string path = folder.File("history.sqlite");
    {
        HistoryStore store(path, nullptr);
        HistoryRecord record;
        record.startedMs = 1'796'666'400'000;  // 2026-12-07 18:00:00 UTC
        record.endedMs = record.startedMs + 90'000;
        record.serial = "0012345";
        record.outcome = CycleOutcome::Failed;
        record.cause = "Verify \"error\"\n\x01\xC3\xA9\xFF";
        record.before = {true, true, "01.12.26", 20000};
        record.after = {true, false, "", 0};
        ASSERT_NE(store.Save(record), 0);
        record.startedMs += 3'600'000;
        record.endedMs += 3'600'000;
        record.outcome = CycleOutcome::Succeeded;
        record.source = CycleSource::Restore;
        record.cause.clear();
        record.after = {true, true, "07.12.26", 15000};
        ASSERT_NE(store.Save(record), 0);
        record.serial = "0099999";
        record.before = {};
        ASSERT_NE(store.Save(record), 0);
    }

    const ToolRun run = RunProgram("orvo-tool", "history --serial 0012345 --json --file " + path, "2>/dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("0099999"), std::string::npos);
    const auto newer = run.output.find(
        "\"serial\": \"0012345\", \"started\": \"2026-12-07T19:00:00Z\", \"ended\": \"2026-12-07T19:01:30Z\", "
        "\"source\": \"restore\", \"outcome\": \"succeeded\", \"cause\": \"\", \"date_before\": \"01.12.26\", "
        "\"records_before\": 20000, \"date_after\": \"07.12.26\", \"records_after\": 15000");
    const auto older = run.output.find(
        "\"source\": \"server\", \"outcome\": \"failed\", \"cause\": \"Verify \\\"error\\\"\\u000a\\u0001\xC3\xA9\\ufffd\", "
        "\"date_before\": \"01.12.26\", \"records_before\": 20000, \"date_after\": \"\", \"records_after\": 0");
    ASSERT_NE(newer, std::string::npos) << run.output;
    ASSERT_NE(older, std::string::npos) << run.output;
    EXPECT_LT(newer, older);
    EXPECT_EQ(run.output.front(), '[');
    EXPECT_EQ(run.output.substr(run.output.size() - 2), "]\n");

    const ToolRun all = RunProgram("orvo-tool", "history --json --file " + path, "2>/dev/null");
    EXPECT_NE(all.output.find("\"serial\": \"0099999\""), std::string::npos);
    EXPECT_NE(all.output.find("\"date_before\": null, \"records_before\": null"), std::string::npos);

    EXPECT_EQ(RunProgram("orvo-tool", "history --json --file " + folder.File("none.sqlite")).output, "[]\n");
    WriteBytes(folder.File("junk.sqlite"), std::vector<std::uint8_t>(2048, 'j'));
    EXPECT_EQ(RunProgram("orvo-tool", "history --file " + folder.File("junk.sqlite")).exitCode, 1);
}

}  // namespace

// Help and usage errors of orvo-tool, orvo-sim and orvo-demo: help goes to
// stdout with exit code 0; a wrong command line is exit code 2 with a message
// that names what was wrong and where the help is.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/tool_run.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ToolHelp, EveryWayToAskForHelpAnswersOnStdoutWithExitZero) {
    for (const std::string program : {"orvo-tool", "orvo-sim"}) {
        for (const std::string asking : {"--help", "-h", "help"}) {
            const ToolRun run = RunProgram(program, asking, "2>/dev/null");
            EXPECT_EQ(run.exitCode, 0) << program << " " << asking;
            EXPECT_TRUE(Has(run.output, "commands:")) << run.output;
            EXPECT_TRUE(Has(run.output, "exit codes: 0 success, 1")) << run.output;
        }
    }
    const ToolRun version = RunProgram("orvo-tool", "--version", "2>/dev/null");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, RunProgram("orvo-tool", "version", "2>/dev/null").output);
    EXPECT_EQ(version.output.rfind("orvo-tool ", 0), 0u) << version.output;
    // A command's help shows its options and an example, however asked.
    const ToolRun help = RunProgram("orvo-tool", "help write", "2>/dev/null");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Has(help.output, "--virtual[=FLASH_FILE]")) << help.output;
    EXPECT_TRUE(Has(help.output, "example:\n  orvo-tool write ")) << help.output;
    EXPECT_EQ(RunProgram("orvo-tool", "write --help", "2>/dev/null").output, help.output);
    EXPECT_EQ(RunProgram("orvo-tool", "write x.dfu -h --virtual", "2>/dev/null").output, help.output);
    const ToolRun simHelp = RunProgram("orvo-sim", "gen-db --help", "2>/dev/null");
    EXPECT_EQ(simHelp.exitCode, 0);
    EXPECT_TRUE(Has(simHelp.output, "--records N")) << simHelp.output;
}

TEST(ToolHelp, WrongCommandLinesNameTheirFaultAndTheHelp) {
    struct Case {
        const char* program;
        const char* arguments;
        const char* named;
    };
    const Case cases[] = {
        {"orvo-tool", "--bogus", "unknown option '--bogus'"},
        {"orvo-tool", "frobnicate", "unknown command 'frobnicate'"},
        {"orvo-tool", "help frobnicate", "unknown command 'frobnicate'"},
        {"orvo-tool", "write x.dfu --virtual --bogus", "unknown option '--bogus'"},
        {"orvo-tool", "identify --virtual --verbose", "unknown option '--verbose'"},
        {"orvo-tool", "dfu-info a.dfu b.dfu", "unexpected argument 'b.dfu'"},
        {"orvo-tool", "read 0 16 --virtual", "--out FILE is needed"},
        {"orvo-tool", "read 0 zero --out x --virtual", "ADDR and LEN must be numbers"},
        {"orvo-tool", "version --long", "unknown option '--long'"},
        {"orvo-tool", "devices --virtual-timing=real", "--virtual-timing needs --virtual"},
        {"orvo-sim", "gen-db --records 10 --colour -o x", "unknown option '--colour'"},
        {"orvo-sim", "server --port 99999", "--port needs a number"},
        // An option at the end without its value is not an unknown one.
        {"orvo-tool", "update --virtual --host", "--host needs a value"},
        {"orvo-tool", "identify --virtual --device", "--device needs a value"},
        {"orvo-tool", "restore --virtual --pick ' 1'", "--pick needs a number from 1"},
        {"orvo-tool", "restore --virtual --pick +2", "--pick needs a number from 1"},
        {"orvo-tool", "restore --virtual --json", "--json goes with --list"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunProgram(c.program, c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.program << " " << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, c.named)) << c.program << " " << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, "--help") || Has(run.output, "help ")) << run.output;
    }
    // Nothing at all: the list of commands, but as a usage error.
    EXPECT_EQ(RunProgram("orvo-tool", "").exitCode, 2);
}

TEST(ToolHelp, DemoAnswersHelpAndRefusesBadOptionsBeforeStarting) {
    if (!ProgramInThisBuild("orvo-demo"))
        GTEST_SKIP() << "built without the Qt front end";
    const ToolRun help = RunProgram("orvo-demo", "--help", "2>/dev/null");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--headless", "--serial", "--fault", "--flash", "--timeout", "--screenshot", "--shots"})
        EXPECT_TRUE(Has(help.output, option)) << option << "\n" << help.output;
    // Every fault the help lists is one the demo takes.
    const auto from = help.output.find("one of:\n");
    ASSERT_NE(from, std::string::npos) << help.output;
    const auto listStart = help.output.find_first_not_of(' ', from + 8);
    const std::string list = help.output.substr(listStart, help.output.find(" (default", listStart) - listStart);
    std::size_t faults = 0;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find(", ", at), list.size());
        const std::string fault = list.substr(at, end - at);
        const ToolRun run = RunProgram("orvo-demo", "--fault " + fault + " --timeout x");
        // The fault passed; the next option is the one refused.
        EXPECT_TRUE(Has(run.output, "--timeout needs")) << fault << "\n" << run.output;
        ++faults;
        at = end + 2;
    }
    EXPECT_GE(faults, 5u) << list;

    struct Case {
        const char* arguments;
        const char* named;
    };
    const Case cases[] = {
        {"--bogus", "unknown option '--bogus'"},
        {"--fault meteor", "unknown --fault 'meteor'"},
        {"--serial 12345678", "a serial is 7 letters or digits"},
        {"--serial 12-4567", "a serial is 7 letters or digits"},
        {"--timeout 0", "--timeout needs a whole number"},
        {"--headless --serial", "--serial needs a value"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunProgram("orvo-demo", c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, c.named)) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, "orvo-demo --help")) << run.output;
    }
}

TEST(DemoHeadless, EndsWithinItsTimeoutWhateverTheCycleIsDoing) {
    if (!ProgramInThisBuild("orvo-demo"))
        GTEST_SKIP() << "built without the Qt front end";
    // Each time-out falls somewhere in the cycle (download, erase, write,
    // depending on the machine); none may leave the run waiting for an answer
    // to the close-during-write question. A busy Orvo keeps the write going
    // for a minute, so that no machine is fast enough to finish the cycle
    // first. The outer bound turns a hang into exit code 124.
    for (const int seconds : {1, 2}) {
        const ToolRun run =
            RunProgramBounded("orvo-demo", "--headless --fault busy --timeout " + std::to_string(seconds), 90);
        EXPECT_EQ(run.exitCode, 1) << seconds << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, "did not finish within --timeout")) << run.output;
    }
}

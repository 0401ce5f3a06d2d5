#pragma once

#include <cstdio>
#include <string>

#include "support/private_folders.h"
#include "support/test_platform.h"

// Runs one of the project's command-line programs through the shell and
// collects what it printed and how it exited.
struct ToolRun {
    int exitCode = -1;
    std::string output;
};

// Whether this build makes `program`: the windowed programs only with the Qt
// front end. The test programs depend on every program the build makes, so
// one of those that is missing fails the test that runs it.
inline bool ProgramInThisBuild(const std::string& program) {
#if defined(ORVO_TEST_GUI_PROGRAMS)
    (void)program;
    return true;
#else
    return program != "orvo-demo" && program != "orvo-updater";
#endif
}

// A program of the build, run from the test's own program folder.
inline std::string TestProgram(const std::string& program) { return NativePath(TestProgramFolder() + "/" + program); }

// Runs a shell command line and collects its standard output.
inline ToolRun RunShellCommand(const std::string& command) {
    const ShellRun run = RunShell(command, 0);
    return {run.exitCode, run.output};
}

// `redirection` decides which streams land in `output`, e.g. "2>&1" or
// "2>/dev/null".
inline ToolRun RunProgram(const std::string& program, const std::string& arguments,
                          const std::string& redirection = "2>&1") {
    return RunShellCommand(TestProgram(program) + " " + arguments + " " + redirection);
}

// As RunProgram, but a program still running after `seconds` is ended
// (exit code 124): a hang fails its test instead of the whole run.
inline ToolRun RunProgramBounded(const std::string& program, const std::string& arguments, int seconds = 60) {
    const ShellRun run = RunShell(TestProgram(program) + " " + arguments + " 2>&1", seconds);
    return {run.exitCode, run.output};
}

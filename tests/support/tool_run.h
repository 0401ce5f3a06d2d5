#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs one of the project's command-line programs through the shell and
// collects what it printed and how it exited.
struct ToolRun {
    int exitCode = -1;
    std::string output;
};

// `redirection` decides which streams land in `output`, e.g. "2>&1" or
// "2>/dev/null".
inline ToolRun RunProgram(const std::string& program, const std::string& arguments,
                          const std::string& redirection = "2>&1") {
    const std::string command = std::string(ORVO_TEST_BIN_DIR) + "/" + program + " " + arguments + " " + redirection;
    ToolRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

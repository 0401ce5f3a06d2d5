#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

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

// The build's programs as the tests run them: hard links (copies across file
// systems) to the programs and resources of the build's program folder, in
// a folder of the test's private temporary folder. A program that keeps files
// beside itself, as a portable copy does (orvo-tool's history and log), keeps
// them there, and the build's program folder stays as the build made it.
inline std::string TestProgramFolder() {
    static std::mutex mutex;
    static std::string folder;
    std::lock_guard lock(mutex);
    if (!folder.empty())
        return folder;
    const std::filesystem::path made = std::filesystem::temp_directory_path() / "programs";
    std::filesystem::create_directories(made);
    for (const auto& entry : std::filesystem::directory_iterator(ORVO_TEST_BIN_DIR)) {
        const std::string name = entry.path().filename().string();
        const bool resource = name.ends_with(".Dll") || name.ends_with(".bmp");
        const bool program = name.rfind("orvo-", 0) == 0 && name.find('.') == std::string::npos;
        if (!entry.is_regular_file() || !(resource || program))
            continue;
        std::error_code linked;
        std::filesystem::create_hard_link(entry.path(), made / name, linked);
        if (linked)
            std::filesystem::copy_file(entry.path(), made / name, std::filesystem::copy_options::overwrite_existing);
    }
    folder = made.string();
    return folder;
}

inline std::string TestProgram(const std::string& program) { return TestProgramFolder() + "/" + program; }

// Runs a shell command line and collects its standard output.
inline ToolRun RunShellCommand(const std::string& command) {
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

// `redirection` decides which streams land in `output`, e.g. "2>&1" or
// "2>/dev/null".
inline ToolRun RunProgram(const std::string& program, const std::string& arguments,
                          const std::string& redirection = "2>&1") {
    return RunShellCommand(TestProgram(program) + " " + arguments + " " + redirection);
}

// As RunProgram, but a program still running after `seconds` is ended
// (exit code 124): a hang fails its test instead of the whole run.
inline ToolRun RunProgramBounded(const std::string& program, const std::string& arguments, int seconds = 60) {
    return RunShellCommand("timeout " + std::to_string(seconds) + " " + TestProgram(program) + " " + arguments +
                           " 2>&1");
}

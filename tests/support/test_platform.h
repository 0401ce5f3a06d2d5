#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "common/process_liveness.h"  // CurrentProcessId

// What the test programs need from the operating system, one implementation
// per platform (test_platform_posix.cpp, test_platform_windows.cpp).

// Sets the environment variable `name` (removes it for nullopt) in this
// process and in the programs it starts.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// Sets an environment variable for as long as the object lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* saved = std::getenv(name_.c_str()))
            saved_ = saved;
        SetEnvironment(name_, value);
    }
    ~ScopedEnvironment() { SetEnvironment(name_, saved_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// A new folder with a random name that starts with `prefix`, inside `base`,
// for this user only. Ends the program when none can be made: no test could
// run without it.
std::string MakeUniqueFolder(const std::string& base, const std::string& prefix);

// The system's temporary folder before the test program replaced it.
std::string SystemTemporaryFolder();

// Makes `folder` the temporary folder of this process and of the programs it
// starts.
void UseTemporaryFolder(const std::string& folder);

// Makes a named pipe (FIFO) at `path` for this user: 0 or the error. Only
// where MissingOnThisPlatform(Fifo) is null.
int MakeFifo(const std::string& path);

// Runs `body` in a forked child of this process and gives the exit code it
// returned (-1 when the child did not end normally). Only where
// MissingOnThisPlatform(ChildByFork) is null.
int ExitCodeOfForkedChild(const std::function<int()>& body);

// A character device every user may open for reading ("/dev/zero", "NUL").
std::string DeviceFilePath();

// The environment variable that names the user's data home, and the
// program's folder in it.
struct UserDataHome {
    const char* variable;
    const char* folderName;
};
UserDataHome UserDataHomeOfThisPlatform();

// Whether `name` in the build's program folder is one of its programs.
bool IsProgramFileName(const std::string& name);

// A path as the platform's shell and programs take it.
std::string NativePath(const std::string& path);

// Runs a command line through the platform's shell and collects its
// standard output; a command still running after `seconds` is ended with
// exit code 124. `exitCode` is -1 when it could not run or did not exit.
struct ShellRun {
    int exitCode = -1;
    std::string output;
};
ShellRun RunShell(const std::string& commandLine, int seconds);

// Makes every file write beyond `bytes` fail as on a full disk, for as long
// as the object lives. Only where MissingOnThisPlatform(FileSizeLimit) is
// null; elsewhere making one fails the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t saved_[2] = {};
    void (*previousHandler_)(int) = nullptr;
};

// What some tests need and not every platform has.
enum class PlatformFeature {
    FileSizeLimit,    // a per-process limit that makes writes fail as on a full disk
    Fifo,             // named pipes in the file system
    SymbolicLinks,    // links any user may make
    FilePermissions,  // owner / group / others mode bits, a file made read-only for its owner
    ChildByFork,      // a child that copies this process
    SimulatedServer,  // the download tests against the simulated update server
    GzipCommand,      // gzip on the shell's path
    FolderOpensAsFile,  // fopen of a folder gives a stream whose reads fail
    SilentServerEnds,   // the HTTP client's wait on a server that never answers can be ended
};

// Null when the platform has `feature`, else why a test that needs it cannot
// run here.
const char* MissingOnThisPlatform(PlatformFeature feature);

// Skips the rest of the test, saying why, where the platform lacks `feature`.
#define ORVO_SKIP_WITHOUT(feature)                                                  \
    if (const char* orvoMissing = MissingOnThisPlatform(PlatformFeature::feature)) \
    GTEST_SKIP() << orvoMissing

// Starts a SimUpdateServer, or skips the test where it is not built.
#define ORVO_START_SIMULATED_SERVER(server) \
    ORVO_SKIP_WITHOUT(SimulatedServer);     \
    ASSERT_TRUE((server).Start())

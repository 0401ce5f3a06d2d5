#include "support/test_platform.h"

#include "support/http_client_gaps.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

std::string MakeUniqueFolder(const std::string& base, const std::string& prefix) {
    std::string pattern = base + "/" + prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror(("cannot make a private folder in " + base).c_str());
        std::_Exit(1);
    }
    return pattern;
}

std::string SystemTemporaryFolder() {
    const char* given = std::getenv("TMPDIR");
    return given != nullptr && given[0] == '/' ? given : "/tmp";
}

void UseTemporaryFolder(const std::string& folder) { ::setenv("TMPDIR", folder.c_str(), 1); }

int MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0 ? 0 : errno; }

int ExitCodeOfForkedChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0)
        ::_exit(body());  // nothing else of the test program runs in the child
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DeviceFilePath() { return "/dev/zero"; }

UserDataHome UserDataHomeOfThisPlatform() { return {"XDG_DATA_HOME", "orvo-updater"}; }

bool IsProgramFileName(const std::string& name) {
    return name.rfind("orvo-", 0) == 0 && name.find('.') == std::string::npos;
}

std::string NativePath(const std::string& path) { return path; }

ShellRun RunShell(const std::string& commandLine, int seconds) {
    ShellRun run;
    const std::string bounded = seconds > 0 ? "timeout " + std::to_string(seconds) + " " + commandLine : commandLine;
    std::FILE* pipe = ::popen(bounded.c_str(), "r");
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

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    saved_[0] = saved.rlim_cur;
    saved_[1] = saved.rlim_max;
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit saved{saved_[0], saved_[1]};
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler_);
}

const char* MissingOnThisPlatform(PlatformFeature) { return nullptr; }

const char* HttpClientMissesRedirectedUrl() { return nullptr; }

const char* HttpClientMissesCutChunkedAnswer() { return nullptr; }

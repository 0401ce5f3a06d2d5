#include "support/test_platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include "common/windows_support.h"
#include "support/http_client_gaps.h"

// The test programs under Windows (and wine): environment and temporary
// folder through the C runtime, which passes them on to the system, so that
// both getenv and GetTempPathW see them; commands through cmd.exe.

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    // An empty value removes the variable, as on Windows no variable is empty.
    ::_wputenv_s(Widen(name).c_str(), value ? Widen(*value).c_str() : L"");
}

std::string MakeUniqueFolder(const std::string& base, const std::string& prefix) {
    std::random_device random;
    PrivateSecurity security;
    for (int attempt = 0; attempt < 32; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "%08x", static_cast<unsigned>(random()));
        const std::string folder = base + "\\" + prefix + name;
        if (::CreateDirectoryW(WidePath(folder).c_str(), security.Attributes()))
            return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    std::fprintf(stderr, "cannot make a private folder in %s (error %lu)\n", base.c_str(), ::GetLastError());
    std::_Exit(1);
}

std::string SystemTemporaryFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("C:\\Windows\\Temp") : NativePath(Narrow(folder.wstring()));
}

void UseTemporaryFolder(const std::string& folder) {
    SetEnvironment("TMP", folder);
    SetEnvironment("TEMP", folder);
}

int MakeFifo(const std::string&) { return ENOSYS; }

int ExitCodeOfForkedChild(const std::function<int()>&) {
    ADD_FAILURE() << "Windows has no fork: skip the test with ORVO_SKIP_WITHOUT(ChildByFork)";
    return -1;
}

std::string DeviceFilePath() { return "NUL"; }

UserDataHome UserDataHomeOfThisPlatform() { return {"LOCALAPPDATA", "Orvo Updater"}; }

bool IsProgramFileName(const std::string& name) {
    return name.rfind("orvo-", 0) == 0 && name.ends_with(".exe");
}

std::string NativePath(const std::string& path) {
    std::error_code error;
    std::filesystem::path native = std::filesystem::absolute(std::filesystem::path(Widen(path)), error);
    if (error)
        native = std::filesystem::path(Widen(path));
    native.make_preferred();
    std::string text = Narrow(native.wstring());
    while (text.size() > 3 && text.back() == '\\')
        text.pop_back();
    return text;
}

ShellRun RunShell(const std::string& commandLine, int) {
    // A hang is bounded by the test's own time limit here: cmd.exe has no
    // `timeout` that ends its command.
    ShellRun run;
    // Text mode: the programs end their lines with "\r\n" here, as Windows
    // programs do; the tests compare lines.
    std::FILE* pipe = ::_wpopen(Widen(commandLine).c_str(), L"r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    run.exitCode = ::_pclose(pipe);
    return run;
}

FileSizeLimit::FileSizeLimit(std::uint64_t) {
    ADD_FAILURE() << "Windows has no limit on a process's file size: "
                     "skip the test with ORVO_SKIP_WITHOUT(FileSizeLimit)";
}

FileSizeLimit::~FileSizeLimit() = default;

const char* MissingOnThisPlatform(PlatformFeature feature) {
    switch (feature) {
    case PlatformFeature::FileSizeLimit:
        return "Windows has no per-process file size limit to make a disk look full";
    case PlatformFeature::Fifo:
        return "Windows has no named pipes in the file system";
    case PlatformFeature::SymbolicLinks:
        return "making a symbolic link on Windows needs a privilege an ordinary user lacks";
    case PlatformFeature::FilePermissions:
        return "Windows keeps access lists, not owner/group/others mode bits";
    case PlatformFeature::ChildByFork:
        return "Windows has no fork";
    case PlatformFeature::SimulatedServer:
        return nullptr;
    case PlatformFeature::GzipCommand:
        return "no gzip on a Windows path";
    case PlatformFeature::SilentServerEnds:
        return "under wine, WinHTTP waits on for a server that took the connection and never answers (neither "
               "its receive time-out nor closing the request ends it); not checked on a real Windows";
    case PlatformFeature::FolderOpensAsFile:
        return "Windows does not open a folder as a file";
    }
    return nullptr;
}

const char* HttpClientMissesRedirectedUrl() {
    return "under wine, WinHTTP names the first URL, not the one a redirect led to (WINHTTP_OPTION_URL); "
           "not checked on a real Windows";
}

const char* HttpClientMissesCutChunkedAnswer() {
    return "under wine, WinHTTP ends a chunked answer cut off midway as if it were whole, so the download "
           "stores it: an open fault of the Windows download, not checked on a real Windows";
}

#include "common/program_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeOfAccount() {
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "";
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

const char* PathSeparators() { return "/"; }

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string ResolveProgramPath(const std::string& fallback) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return fallback;
    return self.string();
}

UserEnvironment UserEnvironment::Current() {
    UserEnvironment environment;
    environment.xdgDataHome = Variable("XDG_DATA_HOME");
    environment.xdgStateHome = Variable("XDG_STATE_HOME");
    environment.home = Variable("HOME");
    if (environment.home.empty())
        environment.home = HomeOfAccount();
    return environment;
}

bool FolderIsWritable(const std::string& folder) {
    const std::string path = folder.empty() ? "." : folder;
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool FolderIsUsersOwn(const std::string& folder) {
    const std::string path = folder.empty() ? "." : folder;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    // Others who may write there could plant a settings file or a lock.
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH | S_ISVTX)) == 0;
}

#include "tool_support/private_folder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "common/windows_support.h"

#include <bcrypt.h>

// On Windows the folder gets a random name and an access list for the user
// alone; a console Ctrl+C, Ctrl+Break or close removes it as a signal does on
// Linux. The console's handler runs on a thread of its own, so it may take
// the lock and use the file system as any other code.

namespace {

std::mutex foldersMutex;
std::set<std::string>& Folders() {
    static std::set<std::string> folders;
    return folders;
}

BOOL WINAPI RemoveFoldersOnConsoleEvent(DWORD) {
    std::lock_guard lock(foldersMutex);
    for (const std::string& folder : Folders()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(WidePath(folder)), ignored);
    }
    Folders().clear();
    return FALSE;  // the default handler ends the process
}

std::string RandomName() {
    unsigned char bytes[8] = {};
    ::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    char text[sizeof bytes * 2 + 1] = {};
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    return text;
}

}  // namespace

bool PrivateTempFolder::Create(const std::string& prefix, std::string& error, const std::string& inFolder) {
    std::error_code ec;
    const std::string base = inFolder.empty() ? std::filesystem::temp_directory_path(ec).generic_string() : inFolder;
    if (ec) {
        error = "no temporary folder: " + ec.message();
        return false;
    }
    PrivateSecurity security;
    if (security.Attributes() == nullptr) {
        error = "cannot make a private folder in " + base + ": the user's access list cannot be made";
        return false;
    }
    const std::string separator = !base.empty() && base.back() == '/' ? "" : "/";
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = base + separator + prefix + "-" + RandomName();
        if (::CreateDirectoryW(WidePath(name).c_str(), security.Attributes())) {
            path_ = name;
            std::lock_guard lock(foldersMutex);
            Folders().insert(path_);
            static const bool installed = ::SetConsoleCtrlHandler(&RemoveFoldersOnConsoleEvent, TRUE) != 0;
            (void)installed;
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            error = "cannot make a private folder in " + base + ": " + std::strerror(LastWindowsErrno());
            return false;
        }
    }
    error = "cannot make a private folder in " + base + ": every name tried exists";
    return false;
}

PrivateTempFolder::~PrivateTempFolder() {
    if (path_.empty())
        return;
    {
        std::lock_guard lock(foldersMutex);
        Folders().erase(path_);
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(WidePath(path_)), ignored);
}

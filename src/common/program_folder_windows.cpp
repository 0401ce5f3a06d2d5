#include "common/program_folder.h"

#include <cstdlib>
#include <string>

#include "common/windows_support.h"

// Paths inside the program use forward slashes on Windows too (the system
// calls take both); what comes from the system is turned into that form.

namespace {

std::string GenericPath(std::wstring_view wide) {
    std::string path = Narrow(wide);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::string Variable(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value != nullptr ? GenericPath(value) : "";
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

const char* PathSeparators() { return "/\\"; }

bool IsAbsolutePath(const std::string& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]))
        return true;
    // A UNC path (\\server\share) or a path rooted on the current drive, which
    // is how a Linux-style absolute path is read under a compatibility layer.
    return !path.empty() && IsSeparator(path[0]);
}

std::string ResolveProgramPath(const std::string& fallback) {
    // Long paths are allowed by the manifest: grow until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return fallback;
        if (length < buffer.size()) {
            buffer.resize(length);
            return GenericPath(buffer);
        }
        if (buffer.size() >= 32768)
            return fallback;
        buffer.resize(buffer.size() * 2);
    }
}

UserEnvironment UserEnvironment::Current() {
    UserEnvironment environment;
    environment.localAppData = Variable(L"LOCALAPPDATA");
    environment.home = Variable(L"USERPROFILE");
    return environment;
}

bool FolderIsWritable(const std::string& folder) {
    // Access rights on Windows are lists, and a folder under Program Files
    // may be redirected: only a file actually made there tells.
    const std::wstring probe = WidePath((folder.empty() ? std::string("./") : folder) + "orvo-write-probe.tmp");
    const HANDLE handle = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

bool FolderIsUsersOwn(const std::string& folder) {
    // A folder the user may write is the user's own here: the profile and
    // any folder the user made. Shared writable folders outside the profile
    // are rare and are not told apart.
    const DWORD attributes = ::GetFileAttributesW(WidePath(folder.empty() ? std::string(".") : folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

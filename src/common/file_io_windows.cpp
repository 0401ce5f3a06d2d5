#include "common/file_io.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/windows_support.h"

// Every file is opened in binary mode: the C runtime's text mode would add a
// carriage return before each line feed of a database or a download.
// Entries are replaced with MoveFileExW, which (unlike rename) replaces an
// existing file; a reparse point (symbolic link, junction) counts as a link.

namespace {

std::FILE* StreamOf(HANDLE handle, int flags, const char* mode, int& error) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        error = EIO;
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, mode);
    if (file == nullptr) {
        error = LastSystemError();
        ::_close(fd);
    }
    return file;
}

HANDLE CreateNew(const std::string& path, SECURITY_ATTRIBUTES* security) {
    return ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, security,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

const char* TextLineEnd() { return "\r\n"; }

int CheckWriteTarget(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrnoFromWindowsError(error);
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return ELOOP;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? EEXIST : 0;
}

int RemoveRegularFile(const std::string& path) {
    if (const int error = CheckWriteTarget(path); error != 0)
        return error;
    if (::DeleteFileW(WidePath(path).c_str()))
        return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrnoFromWindowsError(error);
}

std::FILE* CreateFreshFile(const std::string& path, int& error) {
    error = RemoveRegularFile(path);
    if (error != 0)
        return nullptr;
    const HANDLE handle = CreateNew(path, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastWindowsErrno();
        return nullptr;
    }
    std::FILE* file = StreamOf(handle, _O_WRONLY, "wb", error);
    if (file == nullptr)
        ::DeleteFileW(WidePath(path).c_str());
    return file;
}

int SyncFileAndFolder(const std::string& path) {
    // A folder cannot be opened to flush it here; the entry itself was
    // written through by ReplaceFileEntry.
    const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastWindowsErrno();
    const int error = ::FlushFileBuffers(handle) ? 0 : LastWindowsErrno();
    ::CloseHandle(handle);
    return error;
}

int SyncOpenFile(std::FILE* file) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE)
        return EBADF;
    return ::FlushFileBuffers(handle) ? 0 : LastWindowsErrno();
}

int ReplaceFileEntry(const std::string& from, const std::string& to) {
    if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return LastWindowsErrno();
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    // A file opened only to be read may be replaced or removed meanwhile, as
    // on Linux: a reader must never make a save (MoveFileExW) fail.
    if (mode[0] == 'r' && std::strchr(mode, '+') == nullptr) {
        const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            errno = LastWindowsErrno();
            return nullptr;
        }
        int error = 0;
        std::FILE* file = StreamOf(handle, _O_RDONLY, "rb", error);
        if (file == nullptr)
            errno = error;
        return file;
    }
    std::wstring wideMode = Widen(mode);
    if (wideMode.find(L'b') == std::wstring::npos)
        wideMode += L'b';
    return ::_wfopen(WidePath(path).c_str(), wideMode.c_str());
}

bool IsDiskFullError(int error) { return error == ENOSPC; }

int CreatePrivateFile(const std::string& path) {
    PrivateSecurity security;
    if (security.Attributes() == nullptr)
        return EACCES;
    const HANDLE handle = CreateNew(path, security.Attributes());
    if (handle == INVALID_HANDLE_VALUE)
        return LastWindowsErrno();
    ::CloseHandle(handle);
    return 0;
}

int CheckUserMayWrite(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastWindowsErrno();
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

bool MakeOwnFileWritable(const std::string& path) {
    const std::wstring wide = WidePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastWindowsErrno() == ENOENT;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return false;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return true;
    // In the user's own data folder; a file another user protected stays
    // refused by its access list.
    return ::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

void KeepOpenFilePrivate(std::FILE*) {}

#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

const char* TextLineEnd() { return "\n"; }

int CheckWriteTarget(const std::string& path) {
    struct stat entry {};
    errno = 0;
    if (::lstat(path.c_str(), &entry) != 0)
        return errno == ENOENT ? 0 : LastSystemError();
    if (S_ISLNK(entry.st_mode))
        return ELOOP;
    return S_ISREG(entry.st_mode) ? 0 : EEXIST;
}

int RemoveRegularFile(const std::string& path) {
    if (const int error = CheckWriteTarget(path); error != 0)
        return error;
    errno = 0;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return LastSystemError();
    return 0;
}

std::FILE* CreateFreshFile(const std::string& path, int& error) {
    error = RemoveRegularFile(path);
    if (error != 0)
        return nullptr;
    errno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        error = LastSystemError();
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        error = LastSystemError();
        ::close(fd);
        ::unlink(path.c_str());
    }
    return f;
}

int SyncFileAndFolder(const std::string& path) {
    for (const std::string& entry : {path, FolderOf(path)}) {
        errno = 0;
        const int fd = ::open(entry.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return LastSystemError();
        errno = 0;
        const int error = ::fsync(fd) == 0 ? 0 : LastSystemError();
        ::close(fd);
        if (error != 0)
            return error;
    }
    return 0;
}

int SyncOpenFile(std::FILE* file) {
    errno = 0;
    return ::fsync(::fileno(file)) == 0 ? 0 : LastSystemError();
}

int ReplaceFileEntry(const std::string& from, const std::string& to) {
    errno = 0;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : LastSystemError();
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    // "b" means nothing here; every file is binary already.
    return std::fopen(path.c_str(), mode);
}

bool IsDiskFullError(int error) { return error == ENOSPC || error == EDQUOT; }

int CreatePrivateFile(const std::string& path) {
    errno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return LastSystemError();
    ::close(fd);
    return 0;
}

int CheckUserMayWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0 ? 0 : LastSystemError(); }

bool MakeOwnFileWritable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT;
    struct stat info {};
    bool writable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (writable && (info.st_mode & S_IWUSR) == 0)
        writable = info.st_uid == ::geteuid() && ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return writable;
}

void KeepOpenFilePrivate(std::FILE* file) { ::fchmod(::fileno(file), 0600); }

#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int LastSystemError() { return errno != 0 ? errno : EIO; }

namespace {

std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

int WriteAll(std::FILE* f, const void* data, std::size_t size, bool sync) {
    errno = 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    int error = written ? 0 : LastSystemError();
    errno = 0;
    if (std::fflush(f) != 0 && error == 0)
        error = LastSystemError();
    errno = 0;
    if (sync && error == 0 && ::fsync(::fileno(f)) != 0)
        error = LastSystemError();
    errno = 0;
    if (std::fclose(f) != 0 && error == 0)
        error = LastSystemError();
    return error;
}

int WriteThroughTemporary(const std::string& path, const void* data, std::size_t size, const char* suffix,
                          bool sync) {
    if (const int error = CheckWriteTarget(path); error != 0)
        return error;
    const std::string temporary = path + suffix;
    int error = 0;
    std::FILE* f = CreateFreshFile(temporary, error);
    if (f == nullptr)
        return error;
    error = WriteAll(f, data, size, sync);
    errno = 0;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        error = LastSystemError();
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    return sync ? SyncFileAndFolder(path) : 0;
}

}  // namespace

int CheckWriteTarget(const std::string& path) {
    struct stat entry {};
    errno = 0;
    if (::lstat(path.c_str(), &entry) != 0)
        return errno == ENOENT ? 0 : LastSystemError();
    if (S_ISLNK(entry.st_mode))
        return ELOOP;
    return S_ISREG(entry.st_mode) ? 0 : EEXIST;
}

std::string WriteErrorText(const std::string& path, int error) {
    switch (error) {
    case ELOOP: return path + " is a symbolic link; nothing is written through one";
    case EEXIST: return path + " is not a regular file (a device, FIFO, socket or folder); it is left alone";
    case ENOSPC: return path + ": the disk is full";
    default: return path + ": " + std::strerror(error);
    }
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

int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteMode) {
    // Text and binary are the same bytes on this platform.
    return WriteThroughTemporary(path, data, size, ".tmp", false);
}

bool ReplaceWholeFile(const std::string& path, const void* data, std::size_t size, const char* temporarySuffix,
                      WriteMode) {
    return WriteThroughTemporary(path, data, size, temporarySuffix, true) == 0;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                   int& errorCode) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        errorCode = LastSystemError();
        return false;
    }
    std::vector<std::uint8_t> chunk(64 * 1024);
    bool ok = true;
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
        if (bytes.size() > maxBytes) {
            errorCode = EFBIG;
            ok = false;
            break;
        }
        if (got < chunk.size()) {
            if (std::ferror(f) != 0) {
                errorCode = LastSystemError();
                ok = false;
            }
            break;
        }
    }
    errno = 0;
    if (std::fclose(f) != 0 && ok) {
        errorCode = LastSystemError();
        ok = false;
    }
    return ok;
}

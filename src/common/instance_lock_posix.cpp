#include "common/instance_lock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::string InstanceLockPath(const std::string& dataFolder) { return dataFolder + InstanceLockFileName; }

InstanceLock::~InstanceLock() {
    if (Held())
        ::close(static_cast<int>(handle_));
}

InstanceLock::Result InstanceLock::Acquire(const std::string& path, std::string& error) {
    if (Held())
        return Result::Acquired;
    // Non-blocking open: a FIFO planted there must not hold the start.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        const int cause = errno;
        // O_NOFOLLOW refuses a link with ELOOP; a folder cannot be opened for
        // writing.
        const bool notAFile = cause == ELOOP || cause == EISDIR;
        error = path + (notAFile ? ": not a regular file (" + std::string(std::strerror(cause)) + ")"
                                 : ": " + std::string(std::strerror(cause)));
        return notAFile ? Result::NotAFile : Result::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return Result::NotAFile;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(fd);
        if (cause == EWOULDBLOCK)
            return Result::HeldElsewhere;
        error = path + ": " + std::strerror(cause);
        return Result::Failed;
    }
    handle_ = fd;
    return Result::Acquired;
}

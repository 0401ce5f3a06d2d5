#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

InputFileKind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return InputFileKind::Regular;
    if (S_ISDIR(mode))
        return InputFileKind::Folder;
    if (S_ISFIFO(mode))
        return InputFileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return InputFileKind::Device;
    if (S_ISSOCK(mode))
        return InputFileKind::Socket;
    return InputFileKind::Special;
}

}  // namespace

InputFile::InputFile(const std::string& path) {
    // Without O_NONBLOCK the open of a FIFO waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        cause_ = errno;
        return;
    }
    handle_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        cause_ = errno;
        state_ = State::CannotExamine;
        Close();
        return;
    }
    kind_ = KindOf(info.st_mode);
    if (kind_ != InputFileKind::Regular) {
        state_ = State::NotRegular;
        Close();
        return;
    }
    // A regular file on a slow or remote file system may block its reads:
    // that is waiting for data, not for a writer.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        cause_ = errno;
        state_ = State::CannotExamine;
        Close();
        return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
    state_ = State::Regular;
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
}

long long InputFile::Read(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size && handle_ >= 0) {
        const ssize_t got = ::read(static_cast<int>(handle_), data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            cause_ = errno;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

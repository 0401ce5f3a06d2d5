#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

InputFileRead Refused(std::string reason) { return {false, std::move(reason)}; }

std::string SystemReason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

InputFileRead ReadInputFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    // Without O_NONBLOCK the open of a FIFO waits for a writer. The kind is
    // taken from the open descriptor, so nothing can be swapped in between.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0)
        return Refused(SystemReason("cannot be opened"));
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return Refused(SystemReason("cannot be examined"));
    if (!S_ISREG(info.st_mode))
        return Refused(std::string("is ") + KindOf(info.st_mode) + ", not a regular file");
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes)
        return Refused("is too large (" + std::to_string(size) + " bytes; at most " + std::to_string(maxBytes) +
                       ")");
    // A regular file on a slow or remote file system may block its reads:
    // that is waiting for data, not for a writer.
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Refused(SystemReason("cannot be read"));

    bytes.reserve(static_cast<std::size_t>(size));
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const ssize_t got = ::read(fd.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const InputFileRead failed = Refused(SystemReason("cannot be read"));
            bytes.clear();
            return failed;
        }
        if (got == 0)
            return {true, {}};
        if (bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            bytes.clear();
            return Refused("grew past " + std::to_string(maxBytes) + " bytes while it was read");
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
}

#include "tool_support/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/file_io.h"

namespace {

// "is a directory, not a regular file", or for a kind without a common
// name, "is not a regular file".
std::string NotRegular(const std::string& path, mode_t mode) {
    const char* kind = S_ISDIR(mode)                    ? "a directory"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : nullptr;
    if (kind == nullptr)
        return path + " is not a regular file";
    return path + " is " + kind + ", not a regular file";
}

// Closes the descriptor on every path out.
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

// Opens without blocking (a FIFO would wait for a writer) and accepts only a
// regular file; the check is made on the open descriptor, so the file cannot
// be swapped between the check and the read.
int OpenRegular(const std::string& path, struct stat& info, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0) {
        error = "cannot examine " + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        error = NotRegular(path, info.st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to `size` bytes; returns the count (short only at the end of the
// file) or -1 on a read error.
ssize_t ReadSome(int fd, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

std::string SizeText(std::uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace

bool CheckRegularFile(const std::string& path, bool mayBeMissing, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT && mayBeMissing)
            return true;
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = NotRegular(path, info.st_mode);
        return false;
    }
    return true;
}

bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
    struct stat info {};
    const Descriptor fd(OpenRegular(path, info, error));
    if (fd.Get() < 0)
        return false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > maxBytes) {
        error = path + " is too large (" + SizeText(size) + "; at most " + SizeText(maxBytes) + ")";
        return false;
    }
    // Read in chunks up to one byte past the limit: a file that grew past it
    // while being read is refused too.
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(size) + 1);
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk.size(), maxBytes + 1 - static_cast<std::uint64_t>(bytes.size())));
        const ssize_t got = ReadSome(fd.Get(), chunk.data(), want);
        if (got < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (bytes.size() > maxBytes) {
            error = path + " is too large (more than " + SizeText(maxBytes) + ")";
            bytes.clear();
            return false;
        }
        if (static_cast<std::size_t>(got) < want)
            return true;
    }
}

bool CountNulBytes(const std::string& path, std::uint64_t maxBytes, std::uint64_t& count, bool& complete,
                   std::string& error) {
    struct stat info {};
    const Descriptor fd(OpenRegular(path, info, error));
    if (fd.Get() < 0)
        return false;
    count = 0;
    complete = false;
    std::array<std::uint8_t, 64 * 1024> buffer{};
    std::uint64_t read = 0;
    while (read < maxBytes) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maxBytes - read));
        const ssize_t got = ReadSome(fd.Get(), buffer.data(), want);
        if (got < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        count += static_cast<std::uint64_t>(std::count(buffer.begin(), buffer.begin() + got, std::uint8_t{0}));
        read += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < want) {
            complete = true;
            return true;
        }
    }
    // Exactly at the limit: the file may end right here.
    std::uint8_t probe = 0;
    complete = ReadSome(fd.Get(), &probe, 1) == 0;
    return true;
}

bool CheckOutputFile(const std::string& path, std::string& error) {
    if (const int problem = CheckWriteTarget(path); problem != 0) {
        error = WriteErrorText(path, problem);
        return false;
    }
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        error = path + ": the folder " + parent.string() + " does not exist";
        return false;
    }
    return true;
}

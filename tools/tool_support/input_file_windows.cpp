#include "tool_support/input_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/file_io.h"
#include "common/windows_support.h"

namespace {

std::string SizeText(std::uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

std::string Reason(int error) { return std::strerror(error); }

// Closes the handle on every path out.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Opens for reading and accepts only a regular disk file; the check is made
// on the open handle, so the file cannot be swapped between the check and
// the read. A folder, a pipe or a device (CON, NUL, COM1) is refused.
HANDLE OpenRegular(const std::string& path, std::uint64_t& size, std::string& error) {
    const HANDLE handle =
        ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open " + path + ": " + Reason(LastWindowsErrno());
        return INVALID_HANDLE_VALUE;
    }
    const DWORD type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (type != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info)) {
        error = path + (type == FILE_TYPE_PIPE ? " is a FIFO, not a regular file"
                        : type == FILE_TYPE_CHAR ? " is a device, not a regular file"
                                                 : " is not a regular file");
        ::CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = path + " is a directory, not a regular file";
        ::CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return handle;
}

// Reads up to `size` bytes; the count (short only at the end of the file),
// or -1 on a read error.
long long ReadSome(HANDLE handle, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        if (!::ReadFile(handle, data + done, want, &got, nullptr))
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<long long>(done);
}

}  // namespace

bool CheckRegularFile(const std::string& path, bool mayBeMissing, std::string& error) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int cause = LastWindowsErrno();
        if (cause == ENOENT && mayBeMissing)
            return true;
        error = "cannot open " + path + ": " + Reason(cause);
        return false;
    }
    std::uint64_t size = 0;
    const Handle handle(OpenRegular(path, size, error));
    return handle.Get() != INVALID_HANDLE_VALUE;
}

bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
    std::uint64_t size = 0;
    const Handle handle(OpenRegular(path, size, error));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        return false;
    if (size > maxBytes) {
        error = path + " is too large (" + SizeText(size) + "; at most " + SizeText(maxBytes) + ")";
        return false;
    }
    // Up to one byte past the limit: a file that grew meanwhile is refused.
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(size) + 1);
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk.size(), maxBytes + 1 - static_cast<std::uint64_t>(bytes.size())));
        const long long got = ReadSome(handle.Get(), chunk.data(), want);
        if (got < 0) {
            error = "cannot read " + path + ": " + Reason(LastWindowsErrno());
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
    std::uint64_t size = 0;
    const Handle handle(OpenRegular(path, size, error));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        return false;
    count = 0;
    complete = false;
    std::array<std::uint8_t, 64 * 1024> buffer{};
    std::uint64_t read = 0;
    while (read < maxBytes) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maxBytes - read));
        const long long got = ReadSome(handle.Get(), buffer.data(), want);
        if (got < 0) {
            error = "cannot read " + path + ": " + Reason(LastWindowsErrno());
            return false;
        }
        count += static_cast<std::uint64_t>(std::count(buffer.begin(), buffer.begin() + got, std::uint8_t{0}));
        read += static_cast<std::uint64_t>(got);
        if (static_cast<std::size_t>(got) < want) {
            complete = true;
            return true;
        }
    }
    std::uint8_t probe = 0;
    complete = ReadSome(handle.Get(), &probe, 1) == 0;
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
        error = path + ": the folder " + parent.generic_string() + " does not exist";
        return false;
    }
    return true;
}

#include "common/input_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/windows_support.h"

namespace {

InputFileRead Refused(std::string reason) { return {false, std::move(reason)}; }

std::string SystemReason(const char* what) { return std::string(what) + ": " + std::strerror(LastWindowsErrno()); }

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

// The kind is taken from the open handle, so nothing can be swapped in
// between; opening a pipe or a device does not wait for a writer.
const char* KindOf(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
    switch (::GetFileType(handle)) {
    case FILE_TYPE_PIPE: return "a FIFO";
    case FILE_TYPE_CHAR: return "a device";
    case FILE_TYPE_DISK:
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a folder" : nullptr;
    default: return "a special file";
    }
}

}  // namespace

InputFileRead ReadInputFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const Handle handle(::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE)
        return Refused(SystemReason("cannot be opened"));
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileType(handle.Get()) != FILE_TYPE_DISK ||
                       ::GetFileInformationByHandle(handle.Get(), &info) != 0;
    if (!known)
        return Refused(SystemReason("cannot be examined"));
    if (const char* kind = KindOf(handle.Get(), info))
        return Refused(std::string("is ") + kind + ", not a regular file");
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > maxBytes)
        return Refused("is too large (" + std::to_string(size) + " bytes; at most " + std::to_string(maxBytes) +
                       ")");

    bytes.reserve(static_cast<std::size_t>(size));
    std::array<std::uint8_t, 64 * 1024> chunk{};
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            const InputFileRead failed = Refused(SystemReason("cannot be read"));
            bytes.clear();
            return failed;
        }
        if (got == 0)
            return {true, {}};
        if (bytes.size() + got > maxBytes) {
            bytes.clear();
            return Refused("grew past " + std::to_string(maxBytes) + " bytes while it was read");
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
}

#include "common/input_file.h"

#include <algorithm>

#include "common/windows_support.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

InputFile::InputFile(const std::string& path) {
    // Opening a pipe or a device does not wait for a writer; a folder opens
    // only with backup semantics, so that it is named rather than not found.
    const HANDLE handle = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        cause_ = LastWindowsErrno();
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_PIPE: kind_ = InputFileKind::Fifo; break;
    case FILE_TYPE_CHAR: kind_ = InputFileKind::Device; break;
    default: kind_ = InputFileKind::Special; break;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        state_ = State::NotRegular;
        Close();
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        cause_ = LastWindowsErrno();
        state_ = State::CannotExamine;
        Close();
        return;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        kind_ = InputFileKind::Folder;
        state_ = State::NotRegular;
        Close();
        return;
    }
    kind_ = InputFileKind::Regular;
    size_ = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    state_ = State::Regular;
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() {
    if (handle_ != -1)
        ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

long long InputFile::Read(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size && handle_ != -1) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        if (!::ReadFile(AsHandle(handle_), data + done, want, &got, nullptr)) {
            cause_ = LastWindowsErrno();
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<long long>(done);
}

#include "common/file_io.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

int LastSystemError() { return errno != 0 ? errno : EIO; }

int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteMode mode) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), mode == WriteMode::Text ? "w" : "wb");
    if (f == nullptr)
        return LastSystemError();
    errno = 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    int error = written ? 0 : LastSystemError();
    errno = 0;
    if (std::fflush(f) != 0 && error == 0)
        error = LastSystemError();
    errno = 0;
    if (std::fclose(f) != 0 && error == 0)
        error = LastSystemError();
    if (error != 0)
        std::remove(path.c_str());
    return error;
}

bool ReplaceWholeFile(const std::string& path, const void* data, std::size_t size, const char* temporarySuffix,
                      WriteMode mode) {
    const std::string temporary = path + temporarySuffix;
    if (WriteWholeFile(temporary, data, size, mode) != 0)
        return false;
    // std::filesystem::rename replaces an existing target on every platform.
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
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

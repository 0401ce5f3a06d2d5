#include "common/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// The rules every platform shares; the system calls behind them are in
// file_io_<platform>.cpp.

int LastSystemError() { return errno != 0 ? errno : EIO; }

namespace {

int WriteAll(std::FILE* f, const void* data, std::size_t size, bool sync) {
    errno = 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    int error = written ? 0 : LastSystemError();
    errno = 0;
    if (std::fflush(f) != 0 && error == 0)
        error = LastSystemError();
    if (sync && error == 0)
        error = SyncOpenFile(f);
    errno = 0;
    if (std::fclose(f) != 0 && error == 0)
        error = LastSystemError();
    return error;
}

int WriteThroughTemporary(const std::string& path, const void* data, std::size_t size, const char* suffix,
                          bool sync, WriteMode mode) {
    if (const int error = CheckWriteTarget(path); error != 0)
        return error;
    const std::string temporary = path + suffix;
    int error = 0;
    std::FILE* f = CreateFreshFile(temporary, error);
    if (f == nullptr)
        return error;
    if (mode == WriteMode::Text) {
        const std::string text = WithPlatformLineEnds({static_cast<const char*>(data), size});
        error = WriteAll(f, text.data(), text.size(), sync);
    } else {
        error = WriteAll(f, data, size, sync);
    }
    if (error == 0)
        error = ReplaceFileEntry(temporary, path);
    if (error != 0) {
        RemoveRegularFile(temporary);
        return error;
    }
    return sync ? SyncFileAndFolder(path) : 0;
}

}  // namespace

std::string WriteErrorText(const std::string& path, int error) {
    switch (error) {
    case ELOOP: return path + " is a symbolic link; nothing is written through one";
    case EEXIST: return path + " is not a regular file (a device, FIFO, socket or folder); it is left alone";
    case ENOSPC: return path + ": the disk is full";
    default: return path + ": " + std::strerror(error);
    }
}

std::string WithPlatformLineEnds(std::string_view text) {
    const std::string_view lineEnd = TextLineEnd();
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool alreadyEnded = i > 0 && text[i - 1] == '\r';
        if (text[i] == '\n' && !alreadyEnded)
            out += lineEnd;
        else
            out += text[i];
    }
    return out;
}

int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteMode mode) {
    return WriteThroughTemporary(path, data, size, ".tmp", false, mode);
}

bool ReplaceWholeFile(const std::string& path, const void* data, std::size_t size, const char* temporarySuffix,
                      WriteMode mode) {
    return WriteThroughTemporary(path, data, size, temporarySuffix, true, mode) == 0;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                   int& errorCode) {
    errno = 0;
    std::FILE* f = OpenFile(path, "rb");
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

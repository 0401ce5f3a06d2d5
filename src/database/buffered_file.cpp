#include "database/buffered_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/file_io.h"

namespace {
constexpr std::size_t kBlockSize = 64 * 1024;
}

BufferedFileReader::BufferedFileReader() : buffer_(new std::uint8_t[kBlockSize]) {}

BufferedFileReader::~BufferedFileReader() { Close(); }

bool BufferedFileReader::Open(const std::string& path) {
    Close();
    file_ = OpenFile(path, "rb");
    // Our own block buffer does the buffering; a second copy in stdio is waste.
    if (file_ != nullptr)
        std::setvbuf(file_, nullptr, _IONBF, 0);
    owned_ = true;
    failed_ = false;
    next_ = end_ = buffer_.get();
    return file_ != nullptr;
}

void BufferedFileReader::Attach(std::FILE* file) {
    Close();
    file_ = file;
    owned_ = false;
    failed_ = false;
    next_ = end_ = buffer_.get();
}

bool BufferedFileReader::Refill() {
    if (file_ == nullptr || failed_)
        return false;
    const std::size_t got = std::fread(buffer_.get(), 1, kBlockSize, file_);
    if (got == 0) {
        failed_ = std::ferror(file_) != 0;
        return false;
    }
    next_ = buffer_.get();
    end_ = next_ + got;
    return true;
}

bool BufferedFileReader::Close() {
    bool closed = true;
    if (file_ != nullptr && owned_)
        closed = std::fclose(file_) == 0;
    file_ = nullptr;
    next_ = end_ = buffer_.get();
    return closed;
}

BufferedFileWriter::BufferedFileWriter() : buffer_(new std::uint8_t[kBlockSize]) {
    next_ = buffer_.get();
    limit_ = next_ + kBlockSize;
}

BufferedFileWriter::~BufferedFileWriter() { Close(); }

bool BufferedFileWriter::Create(const std::string& path) {
    Close();
    int error = 0;
    file_ = CreateFreshFile(path, error);
    if (file_ != nullptr)
        std::setvbuf(file_, nullptr, _IONBF, 0);
    else if (error_ == 0)
        error_ = error;
    failed_ = false;
    next_ = buffer_.get();
    return file_ != nullptr;
}

void BufferedFileWriter::Flush() {
    const std::size_t pending = static_cast<std::size_t>(next_ - buffer_.get());
    next_ = buffer_.get();
    if (pending == 0 || failed_)
        return;
    errno = 0;
    if (file_ == nullptr || std::fwrite(buffer_.get(), 1, pending, file_) != pending)
        Fail();
}

void BufferedFileWriter::Fail() {
    failed_ = true;
    if (error_ == 0)
        error_ = LastSystemError();
}

void BufferedFileWriter::Write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        if (next_ == limit_)
            Flush();
        const std::size_t chunk = std::min(size, static_cast<std::size_t>(limit_ - next_));
        std::memcpy(next_, data, chunk);
        next_ += chunk;
        data += chunk;
        size -= chunk;
    }
}

bool BufferedFileWriter::Close() {
    if (file_ == nullptr)
        return !failed_;
    Flush();
    // fclose flushes stdio's own buffer: its failure is a lost write too.
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    if (!closed && error_ == 0)
        error_ = LastSystemError();
    file_ = nullptr;
    const bool ok = closed && !failed_;
    failed_ = false;
    return ok;
}

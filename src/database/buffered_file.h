#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Byte-at-a-time access to files through a block buffer of our own: the
// conversion reads and writes every record byte by byte, and going through
// stdio per byte would dominate its run time. Every failure is kept so that
// the caller can tell a short read or a lost write from the end of a file.

class BufferedFileReader {
public:
    BufferedFileReader();
    ~BufferedFileReader();
    BufferedFileReader(const BufferedFileReader&) = delete;
    BufferedFileReader& operator=(const BufferedFileReader&) = delete;

    // Opens `path` for reading raw bytes; false when it cannot be opened.
    bool Open(const std::string& path);
    // Reads from a file the caller opened and keeps owning.
    void Attach(std::FILE* file);

    // The next byte (0 to 255), or -1 at the end of the file or on a read
    // error; Failed() tells the two apart.
    int Get() {
        if (next_ == end_ && !Refill())
            return -1;
        return *next_++;
    }
    bool Failed() const { return failed_; }
    // Closes an opened file; false when the close itself failed.
    bool Close();

private:
    bool Refill();

    std::FILE* file_ = nullptr;
    bool owned_ = false;
    bool failed_ = false;
    std::unique_ptr<std::uint8_t[]> buffer_;
    const std::uint8_t* next_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

class BufferedFileWriter {
public:
    BufferedFileWriter();
    ~BufferedFileWriter();
    BufferedFileWriter(const BufferedFileWriter&) = delete;
    BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

    // Creates `path` empty for writing raw bytes (never through a link, see
    // CreateFreshFile); false when it cannot.
    bool Create(const std::string& path);

    void Put(std::uint8_t byte) {
        if (next_ == limit_)
            Flush();
        *next_++ = byte;
    }
    void Write(const std::uint8_t* data, std::size_t size);

    // Writes what is buffered and closes the file; false when any write or the
    // close failed. The caller removes the file then: it is incomplete.
    bool Close();
    // The system's error code of the first failed Create, write or close
    // since the object was made (ENOSPC for a full disk); 0 when none.
    int Error() const { return error_; }

private:
    void Flush();
    void Fail();

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    int error_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint8_t* next_ = nullptr;
    std::uint8_t* limit_ = nullptr;
};

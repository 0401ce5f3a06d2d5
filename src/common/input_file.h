#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A file the user hands in (a database text to write, a file to restore
// from, a tool's input) is read only when it is a regular file, and never
// beyond what its use allows. A FIFO, a device such as /dev/zero, a socket
// or a folder is refused before any byte is read, and without waiting: a
// FIFO without a writer cannot hold the program. A file larger than the
// limit is refused by its size, before it is read, and so is one that grows
// past the limit while it is read.

// What the path named when it was opened.
enum class InputFileKind { Regular, Folder, Fifo, Device, Socket, Special };

// "a FIFO", "a device", "a socket", "a special file"; "a folder" for a folder.
const char* InputFileKindName(InputFileKind kind);

// The file at a path, opened for reading without waiting for a writer. Its
// kind and size are taken from the open file, so nothing can be swapped in
// between the check and the read.
class InputFile {
public:
    enum class State {
        Regular,        // open, and readable with Read
        CannotOpen,     // Cause() says why
        CannotExamine,  // opened, but its kind or size could not be learned; Cause() says why
        NotRegular,     // Kind() says what it is instead
    };

    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    State GetState() const { return state_; }
    InputFileKind Kind() const { return kind_; }
    std::uint64_t Size() const { return size_; }
    // The errno value of the last failure (opening, examining or reading).
    int Cause() const { return cause_; }

    // Reads up to `size` bytes; the count, short only at the end of the file,
    // or -1 on a read error (Cause() then says why).
    long long Read(std::uint8_t* data, std::size_t size);

private:
    void Close();

    std::intptr_t handle_ = -1;  // the descriptor or the system's handle
    State state_ = State::CannotOpen;
    InputFileKind kind_ = InputFileKind::Special;
    std::uint64_t size_ = 0;
    int cause_ = 0;
};

struct InputFileRead {
    bool ok = false;
    // Why the file was refused, as a phrase that follows the file's name:
    // "is a FIFO, not a regular file", "is too large (…)", "cannot be
    // opened: No such file or directory". Empty when ok.
    std::string reason;
};

InputFileRead ReadInputFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes);

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A file the user hands in (a database text to write, a file to restore
// from) is read only when it is a regular file, and never beyond what its
// use allows. A FIFO, a device such as /dev/zero, a socket or a folder is
// refused before any byte is read, and without waiting: a FIFO without a
// writer cannot hold the program. A file larger than the limit is refused by
// its size, before it is read, and so is one that grows past the limit while
// it is read.

struct InputFileRead {
    bool ok = false;
    // Why the file was refused, as a phrase that follows the file's name:
    // "is a FIFO, not a regular file", "is too large (…)", "cannot be
    // opened: No such file or directory". Empty when ok.
    std::string reason;
};

InputFileRead ReadInputFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes);

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Input files of the tools are read only when they are regular files, and
// never beyond what their format allows: a directory, a device such as
// /dev/zero, a FIFO or a socket is refused before any byte is read (a FIFO
// without a writer cannot hold the program either), and so is a file larger
// than the limit. Errors are one line with the path and the reason.

// False with the reason when `path` exists but is not a regular file, or
// cannot be examined. A missing file is fine when `mayBeMissing`.
bool CheckRegularFile(const std::string& path, bool mayBeMissing, std::string& error);

// Reads the whole regular file at `path`, at most `maxBytes` bytes; a longer
// file is refused, even one that grows while it is read.
bool ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
                     std::string& error);

// Counts the NUL bytes of the regular file at `path`, reading no more than
// `maxBytes`; `complete` tells whether the count reached the file's end.
bool CountNulBytes(const std::string& path, std::uint64_t maxBytes, std::uint64_t& count, bool& complete,
                   std::string& error);

// Output files are checked before any work is done: `path` must be a regular
// file or absent, never a symbolic link (nothing is written through one) nor
// a device, FIFO or folder, and its folder must exist. False with the reason.
bool CheckOutputFile(const std::string& path, std::string& error);

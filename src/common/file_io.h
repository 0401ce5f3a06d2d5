#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whole-file reads and writes for every layer: each checks every step, and a
// write that fails leaves nothing half written behind.

// The system's error code of the call that just failed: errno, or EIO when
// the call set none. Clear errno before the call.
int LastSystemError();

// How a file's bytes reach the disk: as they are, or with the platform's line
// ends for a text file.
enum class WriteMode { Binary, Text };

// Writes `size` bytes from `data` to `path`. A file that could not be written
// completely is removed. Returns 0 or the system's error code.
int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteMode mode = WriteMode::Binary);

// Writes the bytes to `path` + `temporarySuffix` and renames that over
// `path`, so that a failure leaves the earlier file (if any) untouched and no
// temporary file behind.
bool ReplaceWholeFile(const std::string& path, const void* data, std::size_t size, const char* temporarySuffix,
                      WriteMode mode = WriteMode::Binary);

// Reads the file to its end into `bytes`. On failure `errorCode` is the
// system's error code, EFBIG once the file holds more than `maxBytes`; a read
// that ends early is a failure too, so no byte the file did not supply is
// ever handed on.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                   int& errorCode);

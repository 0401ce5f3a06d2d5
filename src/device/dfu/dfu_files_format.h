#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/dfu/dfu_image_store.h"

// The byte layout of a DFU file (docs/dfu-file-format.md): a prefix, the
// images with their elements, and the USB DFU 1.1 suffix with its CRC.
// Everything here works on bytes in memory; dfu_files.cpp does the file I/O.

struct DfuFileContents {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::vector<DfuImageData> images;

    friend bool operator==(const DfuFileContents&, const DfuFileContents&) = default;
};

// The 16 bytes at the end of every DFU file, as stored.
struct DfuFileSuffix {
    std::uint16_t bcdDevice = 0;
    std::uint16_t idProduct = 0;
    std::uint16_t idVendor = 0;
    std::uint16_t bcdDFU = 0;
    char signature[3] = {0, 0, 0};  // "UFD"
    std::uint8_t length = 0;
    std::uint32_t crc = 0;
};

// What the reader found. `suffixRead` tells whether the file was long enough
// to hold a suffix (then `suffix` and `computedCrc` are filled in even when a
// later check fails); `contents` is complete only when `ok`.
struct DfuFileParse {
    bool ok = false;
    std::string error;
    std::size_t errorOffset = 0;
    bool suffixRead = false;
    DfuFileSuffix suffix;
    std::uint32_t computedCrc = 0;
    DfuFileContents contents;
};

namespace DfuFileFormat {

inline constexpr char kSignature[8] = {'O', 'r', 'v', 'o', 'D', 'F', 'U', 0x1A};
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint16_t kBcdDfu = 0x0100;
inline constexpr std::size_t kPrefixSize = 14;
inline constexpr std::size_t kSuffixSize = 16;
inline constexpr std::size_t kImageHeaderSize = 10;  // without the name
inline constexpr std::size_t kElementHeaderSize = 8;
inline constexpr std::size_t kMaxImages = 255;
inline constexpr std::size_t kMaxNameLength = 255;

// The USB DFU 1.1 file CRC: CRC-32 with the reflected polynomial 0xEDB88320,
// started at 0xFFFFFFFF and not complemented at the end.
std::uint32_t Crc(std::span<const std::uint8_t> bytes);

// Whether an image can be stored in a file: name of at most 255 bytes
// without NUL, elements adding up to less than 4 GiB. Empty text when it can,
// otherwise the reason.
std::string ImageProblem(const DfuImageData& image);

// Whether the images fit the file's fields: at most 255 images, each fit
// for a file (ImageProblem), all of them less than 4 GiB together.
bool FitsFormat(const DfuFileContents& contents);

// The whole file; false (and `out` untouched) when the contents do not fit
// the format's fields.
bool Serialize(const DfuFileContents& contents, std::vector<std::uint8_t>& out);

// Checks every byte of a file: suffix fields, CRC, prefix, every length,
// count and bound, and that nothing is left over anywhere.
DfuFileParse Parse(std::span<const std::uint8_t> bytes);

}  // namespace DfuFileFormat

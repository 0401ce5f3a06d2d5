#pragma once

#include <cstdint>
#include <string>

#include "common/result_texts.h"

// Making DFU files from plain files (CDfuDevice::AddElementFile, BuildImage,
// WriteDfuFile): the fixed values and texts they use. Identification makes
// its connect-test file with them, the database layer its database and date
// files.

namespace DfuPreparation {

// The one alternate setting every image made here is for.
inline constexpr int AlternateSetting = 1;

// File names longer than this are cut when an image is built.
inline constexpr std::size_t MaxEntryFileName = 1000;

inline constexpr const char* CreateImageFailedText = "Unable to create image from this file...";
inline constexpr const char* InsertElementFailedText = "Unable to insert one element in the image...";

// "IoError %08xh" for an operating system error code.
using ::IoErrorText;

// "0x%08X-0x%08X\t%s": first address, last address (first + size - 1, modulo
// 2^32, so an empty file shows one below its first), file name.
std::string ElementEntryText(std::uint32_t address, std::uint64_t size, const std::string& fileName);

}  // namespace DfuPreparation

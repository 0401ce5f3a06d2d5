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

inline constexpr const char* CreateImageFailedText = "Unable to create image from this file...";
inline constexpr const char* InsertElementFailedText = "Unable to insert one element in the image...";

// "IoError %08xh" for an operating system error code.
using ::IoErrorText;

}  // namespace DfuPreparation

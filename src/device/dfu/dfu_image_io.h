#pragma once

#include <cstdint>
#include <vector>

#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_types.h"

// The engine's view of an image: its elements copied out, and a way to put a
// new element list back under the same handle (filtering, upload results).
using ImageBlock = DfuImageElementData;

DfuResult ReadImageBlocks(DfuHandle image, std::uint8_t& alternateSetting, std::vector<ImageBlock>& blocks);
DfuResult ReplaceImageBlocks(DfuHandle image, std::vector<ImageBlock> blocks);

#include "device/dfu_image_io.h"

#include "device/dfu_files.h"

DfuResult ReadImageBlocks(DfuHandle image, std::uint8_t& alternateSetting, std::vector<ImageBlock>& blocks) {
    blocks.clear();
    if (const DfuResult r = STDFUFILES_GetImageAlternate(image, &alternateSetting); r != STDFU_NOERROR)
        return r;
    std::uint32_t count = 0;
    if (const DfuResult r = STDFUFILES_GetImageNbElement(image, &count); r != STDFU_NOERROR)
        return r;
    blocks.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement element;
        if (const DfuResult r = STDFUFILES_GetImageElement(image, i, &element); r != STDFU_NOERROR)
            return r;
        ImageBlock block;
        block.address = element.dwAddress;
        block.data.resize(element.dwDataLength);
        element.Data = block.data.data();
        if (element.dwDataLength > 0) {
            if (const DfuResult r = STDFUFILES_GetImageElement(image, i, &element); r != STDFU_NOERROR)
                return r;
        }
        blocks.push_back(std::move(block));
    }
    return STDFU_NOERROR;
}

// Needs the file library's element store; filled in with it.
DfuResult ReplaceImageBlocks(DfuHandle, const std::vector<ImageBlock>&) { return STDFU_UNEXPECTED_ERROR; }

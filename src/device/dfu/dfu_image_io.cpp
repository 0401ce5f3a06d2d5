#include "device/dfu/dfu_image_io.h"

DfuResult ReadImageBlocks(DfuHandle image, std::uint8_t& alternateSetting, std::vector<ImageBlock>& blocks) {
    auto copy = DfuImageStore::Snapshot(image);
    if (!copy)
        return STDFUFILES_BAD_HANDLE;
    alternateSetting = copy->alternateSetting;
    blocks = std::move(copy->elements);
    return STDFU_NOERROR;
}

DfuResult ReplaceImageBlocks(DfuHandle image, std::vector<ImageBlock> blocks) {
    return DfuImageStore::ReplaceElements(image, std::move(blocks)) ? STDFU_NOERROR : STDFUFILES_BAD_HANDLE;
}

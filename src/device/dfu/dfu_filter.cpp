#include <algorithm>
#include <set>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_io.h"
#include "device/dfu/dfu_mapping.h"

namespace {

// The sectors an element touches, by start address.
bool CollectSectors(const DfuMapping& entry, const ImageBlock& block, std::set<std::uint32_t>& starts) {
    std::uint64_t at = block.address;
    const std::uint64_t end = static_cast<std::uint64_t>(block.address) + block.data.size();
    while (at < end) {
        const DfuMapSector* sector = FindSector(entry, static_cast<std::uint32_t>(at));
        if (!sector || !(sector->properties & kSectorErasable))
            return false;
        starts.insert(sector->address);
        at = static_cast<std::uint64_t>(sector->address) + sector->size;
    }
    return true;
}

DfuResult FilterForErase(const DfuMapping& entry, const std::vector<ImageBlock>& blocks,
                         std::vector<ImageBlock>& out) {
    std::set<std::uint32_t> starts;
    for (const ImageBlock& block : blocks) {
        if (!CollectSectors(entry, block, starts))
            return STDFU_BAD_PARAMETER;
    }
    for (std::uint32_t start : starts) {
        const DfuMapSector* sector = FindSector(entry, start);
        // An erased sector reads as all ones: that is what the element stands for.
        out.push_back({start, std::vector<std::uint8_t>(sector->size, 0xFF)});
    }
    return STDFU_NOERROR;
}

DfuResult FilterForUpgrade(const DfuMapping& entry, const std::vector<ImageBlock>& blocks,
                           std::vector<ImageBlock>& out) {
    const std::size_t size = entry.transferSize;
    if (size == 0)
        return STDFU_BAD_PARAMETER;
    for (const ImageBlock& block : blocks) {
        if (block.data.empty())
            continue;
        if (block.data.size() > 0xFFFFFFFFu ||
            !RangeHasProperties(entry, block.address, static_cast<std::uint32_t>(block.data.size()), kSectorWritable))
            return STDFU_BAD_PARAMETER;
        for (std::size_t offset = 0; offset < block.data.size(); offset += size) {
            const std::size_t n = std::min(size, block.data.size() - offset);
            const auto first = block.data.begin() + static_cast<std::ptrdiff_t>(offset);
            out.push_back({block.address + static_cast<std::uint32_t>(offset),
                           std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(n))});
        }
    }
    return STDFU_NOERROR;
}

DfuResult FilterForUpload(const DfuMapping& entry, const std::vector<ImageBlock>& blocks,
                          std::vector<ImageBlock>& out) {
    for (const ImageBlock& block : blocks) {
        if (block.data.empty())
            continue;
        if (!RangeHasProperties(entry, block.address, static_cast<std::uint32_t>(block.data.size()), kSectorReadable))
            return STDFU_BAD_PARAMETER;
        out.push_back(block);
    }
    return STDFU_NOERROR;
}

}  // namespace

// Rewrites the image's elements for one operation on one map entry. Anything
// the map does not allow is refused here, before a single byte goes out.
DfuResult STDFUFILES_FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation, int) {
    if (!mapEntry)
        return STDFU_BAD_PARAMETER;
    std::uint8_t alternate = 0;
    std::vector<ImageBlock> blocks;
    if (const DfuResult r = ReadImageBlocks(image, alternate, blocks); r != STDFU_NOERROR)
        return r;
    if (alternate != mapEntry->alternateSetting)
        return STDFU_BAD_PARAMETER;
    std::vector<ImageBlock> filtered;
    DfuResult r = STDFU_BAD_PARAMETER;
    switch (operation) {
    case OPERATION_ERASE: r = FilterForErase(*mapEntry, blocks, filtered); break;
    case OPERATION_UPGRADE: r = FilterForUpgrade(*mapEntry, blocks, filtered); break;
    case OPERATION_UPLOAD: r = FilterForUpload(*mapEntry, blocks, filtered); break;
    default: break;
    }
    if (r != STDFU_NOERROR)
        return r;
    return ReplaceImageBlocks(image, std::move(filtered));
}

// Feeds arbitrary bytes to the DFU file reader, once as they are and once
// with the CRC made to match (random bytes would almost never get past the
// CRC, leaving the structure checks unexplored). Whatever the reader accepts
// must write back to the very same bytes, and its images must survive a trip
// through the image handles.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_image_store.h"

namespace {

void CheckImageThroughHandles(const DfuImageData& image) {
    DfuHandle handle = DfuImageStore::Create(image);
    std::uint32_t count = 0;
    if (STDFUFILES_GetImageNbElement(handle, &count) != STDFU_NOERROR || count != image.elements.size())
        std::abort();
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement element{};
        if (STDFUFILES_GetImageElement(handle, i, &element) != STDFU_NOERROR)
            std::abort();
        std::vector<std::uint8_t> buffer(element.dwDataLength);
        element.Data = buffer.data();
        if (STDFUFILES_GetImageElement(handle, i, &element) != STDFU_NOERROR || buffer != image.elements[i].data)
            std::abort();
    }
    if (STDFUFILES_DestroyImage(&handle) != STDFU_NOERROR)
        std::abort();
}

void CheckReader(std::span<const std::uint8_t> bytes) {
    const std::size_t size = bytes.size();
    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    if (!parsed.ok)
        return;

    std::vector<std::uint8_t> written;
    if (!DfuFileFormat::Serialize(parsed.contents, written))
        std::abort();
    if (written.size() != size || !std::equal(written.begin(), written.end(), bytes.begin()))
        std::abort();
    for (const auto& image : parsed.contents.images)
        CheckImageThroughHandles(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckReader(std::span(data, size));
    if (size >= DfuFileFormat::kSuffixSize) {
        std::vector<std::uint8_t> fixed(data, data + size);
        const std::uint32_t crc = DfuFileFormat::Crc(std::span(fixed).first(size - 4));
        for (std::size_t i = 0; i < 4; ++i)
            fixed[size - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        CheckReader(fixed);
    }
    return 0;
}

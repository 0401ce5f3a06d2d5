#include "device/dfu/dfu_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_files_handles.h"
#include "device/dfu/dfu_image_store.h"

// An open DFU file is held in memory: opening reads and checks the whole file,
// appending changes only the memory copy, and closing writes the file again
// when something was appended. The file on disk is therefore always either
// the old one or a complete new one, never half written.

namespace {

// Larger files are refused before they are read into memory: the device's
// whole flash is 8 MiB, so this leaves a wide margin.
constexpr std::uint64_t kMaxFileBytes = 256LL * 1024 * 1024;

struct DfuFileState {
    std::string path;
    DfuFileContents contents;
    bool created = false;   // made by CreateNewDFUFile: removed when its final write fails
    bool modified = false;  // images appended since it was last written
};

DfuHandleTable<DfuFileState>& Files() {
    static DfuHandleTable<DfuFileState> table;
    return table;
}

}  // namespace

DfuResult STDFUFILES_OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint16_t* vendorId,
                                         std::uint16_t* productId, std::uint16_t* bcdDevice,
                                         std::uint8_t* imageCount) {
    if (path == nullptr || file == nullptr)
        return STDFU_BAD_PARAMETER;
    std::vector<std::uint8_t> bytes;
    int errorCode = 0;
    if (!ReadWholeFile(path, bytes, kMaxFileBytes, errorCode))
        return errorCode == EFBIG ? STDFUFILES_BAD_FORMAT : STDFUFILES_FILE_ERROR;
    DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    if (!parsed.ok)
        return STDFUFILES_BAD_FORMAT;

    if (vendorId != nullptr)
        *vendorId = parsed.contents.vendorId;
    if (productId != nullptr)
        *productId = parsed.contents.productId;
    if (bcdDevice != nullptr)
        *bcdDevice = parsed.contents.bcdDevice;
    if (imageCount != nullptr)
        *imageCount = static_cast<std::uint8_t>(parsed.contents.images.size());
    *file = Files().Add(DfuFileState{path, std::move(parsed.contents), false, false});
    return STDFU_NOERROR;
}

DfuResult STDFUFILES_CreateNewDFUFile(const char* path, DfuHandle* file, std::uint16_t vendorId,
                                      std::uint16_t productId, std::uint16_t bcdDevice) {
    if (path == nullptr || file == nullptr)
        return STDFU_BAD_PARAMETER;
    DfuFileContents contents;
    contents.vendorId = vendorId;
    contents.productId = productId;
    contents.bcdDevice = bcdDevice;
    // The empty file is written at once: a path that cannot be written fails
    // here rather than at close, and the file exists as a valid DFU file.
    std::vector<std::uint8_t> bytes;
    if (!DfuFileFormat::Serialize(contents, bytes) || WriteWholeFile(path, bytes.data(), bytes.size()) != 0)
        return STDFUFILES_FILE_ERROR;
    *file = Files().Add(DfuFileState{path, std::move(contents), true, false});
    return STDFU_NOERROR;
}

DfuResult STDFUFILES_CloseDFUFile(DfuHandle file) {
    const auto slot = Files().Take(file);
    if (!slot)
        return STDFUFILES_BAD_HANDLE;
    std::lock_guard lock(slot->mutex);
    DfuFileState& state = slot->value;
    if (!state.modified)
        return STDFU_NOERROR;
    std::vector<std::uint8_t> bytes;
    if (DfuFileFormat::Serialize(state.contents, bytes) &&
        ReplaceWholeFile(state.path, bytes.data(), bytes.size(), ".partial"))
        return STDFU_NOERROR;
    // A new file that could not be completed must not be taken for a good
    // one; an existing file keeps its earlier content.
    if (state.created)
        RemoveRegularFile(state.path);
    return STDFUFILES_FILE_ERROR;
}

DfuResult STDFUFILES_ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) {
    if (image == nullptr)
        return STDFU_BAD_PARAMETER;
    DfuResult result = STDFUFILES_BAD_HANDLE;
    DfuImageData copy;
    Files().With(file, [&](const DfuFileState& state) {
        if (imageIndex < 0 || static_cast<std::size_t>(imageIndex) >= state.contents.images.size()) {
            result = STDFUFILES_BAD_INDEX;
            return;
        }
        copy = state.contents.images[static_cast<std::size_t>(imageIndex)];
        result = STDFU_NOERROR;
    });
    if (result == STDFU_NOERROR)
        *image = DfuImageStore::Create(std::move(copy));
    return result;
}

DfuResult STDFUFILES_AppendImageToDFUFile(DfuHandle file, DfuHandle image) {
    // The file keeps a copy as the image is now: later changes to the image
    // do not reach the file.
    const auto copy = DfuImageStore::Snapshot(image);
    if (!copy)
        return STDFUFILES_BAD_HANDLE;
    if (!DfuFileFormat::ImageProblem(*copy).empty())
        return STDFU_BAD_PARAMETER;
    DfuResult result = STDFUFILES_BAD_HANDLE;
    Files().With(file, [&](DfuFileState& state) {
        state.contents.images.push_back(std::move(*copy));
        // Refused now, while the caller can still react, rather than at close.
        if (!DfuFileFormat::FitsFormat(state.contents)) {
            state.contents.images.pop_back();
            result = STDFU_BAD_PARAMETER;
            return;
        }
        state.modified = true;
        result = STDFU_NOERROR;
    });
    return result;
}

DfuResult STDFUFILES_CreateImage(DfuHandle* image, std::uint8_t alternateSetting) {
    if (image == nullptr)
        return STDFU_BAD_PARAMETER;
    DfuImageData empty;
    empty.alternateSetting = alternateSetting;
    *image = DfuImageStore::Create(std::move(empty));
    return STDFU_NOERROR;
}

DfuResult STDFUFILES_DuplicateImage(DfuHandle source, DfuHandle* copy) {
    if (copy == nullptr)
        return STDFU_BAD_PARAMETER;
    auto snapshot = DfuImageStore::Snapshot(source);
    if (!snapshot)
        return STDFUFILES_BAD_HANDLE;
    *copy = DfuImageStore::Create(std::move(*snapshot));
    return STDFU_NOERROR;
}

DfuResult STDFUFILES_DestroyImage(DfuHandle* image) {
    if (image == nullptr)
        return STDFU_BAD_PARAMETER;
    if (!DfuImageStore::Destroy(*image))
        return STDFUFILES_BAD_HANDLE;
    *image = 0;
    return STDFU_NOERROR;
}

DfuResult STDFUFILES_SetImageName(DfuHandle image, const char* name) {
    if (name == nullptr)
        return STDFU_BAD_PARAMETER;
    const std::string text(name);
    if (text.size() > DfuFileFormat::kMaxNameLength)
        return STDFU_BAD_PARAMETER;
    return DfuImageStore::WithImage(image, [&](DfuImageData& stored) { stored.name = text; })
               ? STDFU_NOERROR
               : STDFUFILES_BAD_HANDLE;
}

DfuResult STDFUFILES_SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element) {
    if (element.Data == nullptr && element.dwDataLength != 0)
        return STDFU_BAD_PARAMETER;
    // Copied before the image is locked: the caller frees its buffer after
    // the call.
    DfuImageElementData copy;
    copy.address = element.dwAddress;
    if (element.dwDataLength != 0)
        copy.data.assign(element.Data, element.Data + element.dwDataLength);

    DfuResult result = STDFUFILES_BAD_HANDLE;
    DfuImageStore::WithImage(image, [&](DfuImageData& stored) {
        auto& elements = stored.elements;
        const bool fits = insert != 0 ? index <= elements.size() : index < elements.size();
        if (!fits) {
            result = STDFUFILES_BAD_INDEX;
            return;
        }
        if (insert != 0) {
            if (elements.size() >= 0xFFFFFFFFu) {
                result = STDFU_BAD_PARAMETER;
                return;
            }
            elements.insert(elements.begin() + index, std::move(copy));
        } else {
            elements[index] = std::move(copy);
        }
        result = STDFU_NOERROR;
    });
    return result;
}

DfuResult STDFUFILES_GetImageNbElement(DfuHandle image, std::uint32_t* count) {
    if (count == nullptr)
        return STDFU_BAD_PARAMETER;
    return DfuImageStore::WithImage(image,
                                    [&](const DfuImageData& stored) {
                                        *count = static_cast<std::uint32_t>(stored.elements.size());
                                    })
               ? STDFU_NOERROR
               : STDFUFILES_BAD_HANDLE;
}

DfuResult STDFUFILES_GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) {
    if (element == nullptr)
        return STDFU_BAD_PARAMETER;
    DfuResult result = STDFUFILES_BAD_HANDLE;
    DfuImageStore::WithImage(image, [&](const DfuImageData& stored) {
        if (index >= stored.elements.size()) {
            result = STDFUFILES_BAD_INDEX;
            return;
        }
        const auto& found = stored.elements[index];
        const auto length = static_cast<std::uint32_t>(found.data.size());
        // With a buffer, the caller states its size in dwDataLength (the
        // length a first call without a buffer returned); a smaller buffer is
        // refused rather than overrun.
        if (element->Data != nullptr && element->dwDataLength < length) {
            result = STDFU_BAD_PARAMETER;
            return;
        }
        element->dwAddress = found.address;
        element->dwDataLength = length;
        if (element->Data != nullptr && length != 0)
            std::copy(found.data.begin(), found.data.end(), element->Data);
        result = STDFU_NOERROR;
    });
    return result;
}

DfuResult STDFUFILES_GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) {
    if (alternateSetting == nullptr)
        return STDFU_BAD_PARAMETER;
    return DfuImageStore::WithImage(image,
                                    [&](const DfuImageData& stored) {
                                        *alternateSetting = stored.alternateSetting;
                                    })
               ? STDFU_NOERROR
               : STDFUFILES_BAD_HANDLE;
}

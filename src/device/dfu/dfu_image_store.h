#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/dfu/dfu_files_handles.h"
#include "device/dfu/dfu_types.h"

// One element of a DFU image: the device address of its first byte and the
// bytes themselves.
struct DfuImageElementData {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;

    friend bool operator==(const DfuImageElementData&, const DfuImageElementData&) = default;
};

// A DFU image: what one alternate setting of the device receives.
struct DfuImageData {
    std::uint8_t alternateSetting = 0;
    std::string name;
    std::vector<DfuImageElementData> elements;

    friend bool operator==(const DfuImageData&, const DfuImageData&) = default;
};

// Internal access to the images behind the STDFUFILES image handles, for the
// code of orvo_core that works on whole images (the operation filter, the
// protocol engine). Images are used from the worker, the UI thread and the
// transfer threads: every function here is thread-safe, and each image is
// locked while one caller works on it.
namespace DfuImageStore {

// Stores an image under a new handle (never 0).
DfuHandle Create(DfuImageData image);

// Frees the image; false for an unknown handle.
bool Destroy(DfuHandle image);

// A copy of the image, or nothing for an unknown handle.
std::optional<DfuImageData> Snapshot(DfuHandle image);

// Replaces the whole image or only its elements; false for an unknown handle.
bool Replace(DfuHandle image, DfuImageData content);
bool ReplaceElements(DfuHandle image, std::vector<DfuImageElementData> elements);

// How many images are alive; lets tests see that handles are released.
std::size_t LiveCount();

// The table itself, for WithImage.
DfuHandleTable<DfuImageData>& Table();

// Runs f(DfuImageData&) with the image locked and returns true, or returns
// false for an unknown handle. Keep f short and do not call back into the
// file library for the same image from inside it.
template <class F>
bool WithImage(DfuHandle image, F&& f) {
    return Table().With(image, std::forward<F>(f));
}

}  // namespace DfuImageStore

#include "device/dfu/dfu_image_store.h"

#include <atomic>

DfuHandle NextDfuHandleValue() {
    static std::atomic<DfuHandle> counter{0};
    DfuHandle value = 0;
    while (value == 0)
        value = ++counter;
    return value;
}

namespace DfuImageStore {

DfuHandleTable<DfuImageData>& Table() {
    static DfuHandleTable<DfuImageData> table;
    return table;
}

DfuHandle Create(DfuImageData image) { return Table().Add(std::move(image)); }

bool Destroy(DfuHandle image) { return Table().Take(image) != nullptr; }

std::optional<DfuImageData> Snapshot(DfuHandle image) {
    std::optional<DfuImageData> copy;
    WithImage(image, [&](const DfuImageData& stored) { copy = stored; });
    return copy;
}

bool Replace(DfuHandle image, DfuImageData content) {
    return WithImage(image, [&](DfuImageData& stored) { stored = std::move(content); });
}

bool ReplaceElements(DfuHandle image, std::vector<DfuImageElementData> elements) {
    return WithImage(image, [&](DfuImageData& stored) { stored.elements = std::move(elements); });
}

std::size_t LiveCount() { return Table().Size(); }

}  // namespace DfuImageStore

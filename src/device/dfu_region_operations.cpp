// The region operations of the database write: erase, erase-and-program and
// read of a range of the data flash, each one monitored operation through the
// engine's region images; the single element of a DFU file; the flash layout.

#include "device/dfu_operations.h"
#include "common/text_ids.h"

#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_mapping.h"

using namespace DfuOperationsShared;

// ---------------------------------------------------------------------------
// Region operations of the database write

// The region's image for `operation` (the engine's one way to device
// memory); 0 when it cannot be made, which is reported like a failed launch.
DfuHandle DfuOperations::RegionImage(std::int32_t operation, std::uint32_t address,
                                     std::span<const std::uint8_t> data, DfuOperationContext& context) {
    DfuResult result = STDFU_NOERROR;
    const DfuHandle image = MakeDfuRegionImage(library_, DataMapEntry(), operation, address, data, result);
    if (image == 0) {
        context.ErrorCode = result;
        device_.ReportStatus(context);
    }
    return image;
}

// One operation: an erase of `erase` chained to a write of `data` at
// `address`, or either alone when the other is empty.
bool DfuOperations::EraseAndProgram(FlashRange erase, std::uint32_t address, std::span<const std::uint8_t> data) {
    if (!device_.MonitorAttached() || (erase.length == 0 && data.empty()))
        return false;
    device_.Target = 1;
    const std::int32_t first = erase.length != 0 ? OPERATION_ERASE : OPERATION_UPGRADE;
    DfuOperationContext context{};
    if (!RebuildMap()) {
        device_.ShowError(kNoMemoryMap, CycleErrorKind::Device, ErrorCause::DeviceStep, TextId::NoMemoryMap);
        return false;
    }
    if (!FillContext(context, first))
        return FailBeforeLaunch(context, STDFU_BAD_PARAMETER, 0, 0);
    DestroyKeptImage();

    DfuHandle program = 0;
    if (!data.empty()) {
        program = RegionImage(OPERATION_UPGRADE, address, data, context);
        if (program == 0)
            return false;
    }
    if (first == OPERATION_UPGRADE) {
        context.Image = program;
        return LaunchAndWait(context, 0, device_.signals_->StepEvent, DeviceOperation::Write);
    }
    // The erase image's bytes are never sent; only its range counts.
    const std::vector<std::uint8_t> range(erase.length, 0xFF);
    const DfuHandle eraseImage = RegionImage(OPERATION_ERASE, erase.address, range, context);
    if (eraseImage == 0) {
        DestroyImage(program);
        return false;
    }
    context.Image = eraseImage;
    return LaunchAndWait(context, program, device_.signals_->StepEvent,
                         program != 0 ? DeviceOperation::Write : DeviceOperation::Erase);
}

bool DfuOperations::Read(FlashRange range, std::vector<std::uint8_t>& data, DeviceOperation shownAs) {
    data.clear();
    if (!device_.MonitorAttached())
        return false;
    if (range.length == 0 || range.length > kDfuLargestRegion) {
        device_.ShowError(kNoElementData);  // no device holds such a region
        return false;
    }
    device_.Target = 1;
    DfuOperationContext context{};
    if (!RebuildMap()) {
        device_.ShowError(kNoMemoryMap, CycleErrorKind::Device, ErrorCause::DeviceStep, TextId::NoMemoryMap);
        return false;
    }
    if (!FillContext(context, OPERATION_UPLOAD))
        return FailBeforeLaunch(context, STDFU_BAD_PARAMETER, 0, 0);
    DestroyKeptImage();

    const std::vector<std::uint8_t> placeholder(range.length, 0xFF);
    const DfuHandle image = RegionImage(OPERATION_UPLOAD, range.address, placeholder, context);
    if (image == 0)
        return false;
    DfuHandle kept = 0;
    const DfuResult duplicated = library_.DuplicateImage(image, &kept);
    if (!Succeeded(duplicated))
        return FailBeforeLaunch(context, duplicated, image, 0);
    context.Image = image;

    std::vector<std::uint8_t> received;
    device_.readBackInto_.store(&received);
    const bool read = LaunchAndWait(context, kept, device_.signals_->UploadEvent, shownAs);
    device_.readBackInto_.store(nullptr);
    if (!read)
        return false;
    if (received.size() != range.length) {
        device_.ShowError(kNoElementData);
        return false;
    }
    data = std::move(received);
    return true;
}

bool DfuOperations::LoadElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data) {
    const DfuHandle image = SelectImage(dfuPath, kWriteNotFound, OPERATION_ERASE);
    if (image == 0)
        return false;
    std::uint32_t count = 0;
    DfuElement element{};
    bool loaded = Succeeded(library_.GetImageNbElement(image, &count)) && count == 1 &&
                  Succeeded(library_.GetImageElement(image, 0, &element));
    address = element.dwAddress;
    loaded = loaded && DfuRegionBytes(library_, image, data);
    DestroyImage(image);
    if (!loaded)
        device_.ShowError(kWriteNotFound);
    return loaded;
}

bool DfuOperations::Layout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector) {
    if (device_.Mapping == nullptr && !RebuildMap())
        return false;
    const DfuMapping* entry = DataMapEntry();
    if (entry == nullptr || entry->transferSize == 0)
        return false;
    const DfuMapSector* found = FindSector(*entry, address);
    if (found == nullptr)
        return false;
    transferSize = entry->transferSize;
    sector = FlashRange{found->address, found->size};
    return true;
}

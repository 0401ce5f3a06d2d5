// Preparing and launching the write of a DFU file and the identity read of
// the region a DFU file names: the image of alternate setting 1, the device's
// map, the launch record, and the worker's wait for the monitor's release.

#include "device/dfu_operations.h"
#include "common/text_ids.h"

#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_mapping.h"
#include "device/identity_block.h"

using namespace DfuOperationsShared;

// ---------------------------------------------------------------------------
// Preparation

bool DfuOperations::RebuildMap() {
    if (device_.Mapping) {
        library_.DestroyMapping(&device_.Mapping);
        device_.Mapping = nullptr;
    }
    DfuMapping* mapping = nullptr;
    const std::string path = device_.DevicePath.Get();
    if (!Succeeded(library_.CreateMappingFromDevice(path.c_str(), &mapping)) || mapping == nullptr)
        return false;
    device_.Mapping = mapping;
    return true;
}

// Both passes of a write and every upload use the data flash, alternate
// setting 1. A DFU device whose map has a single entry (not an Orvo) has
// none: null, never a pointer past the table.
DfuMapping* DfuOperations::DataMapEntry() const {
    return DfuMapEntryOf(device_.Mapping, 1);
}

DfuResult DfuOperations::FilterForDataFlash(DfuHandle image, std::int32_t operation) {
    DfuMapping* entry = DataMapEntry();
    if (entry == nullptr)
        return STDFU_BAD_PARAMETER;
    return library_.FilterImageForOperation(image, entry, operation, 0);
}

bool DfuOperations::HasElements(DfuHandle image) {
    std::uint32_t count = 0;
    return Succeeded(library_.GetImageNbElement(image, &count)) && count > 0;
}

// Returns the image of alternate setting 1 from the file, or 0 when the
// operation ends here (what went wrong has been shown).
DfuHandle DfuOperations::SelectImage(const std::string& dfuPath, const char* notFoundText,
                                     std::int32_t operation) {
    device_.Target = 1;
    if (!RebuildMap()) {
        device_.ShowError(kNoMemoryMap, CycleErrorKind::Device, ErrorCause::DeviceStep, TextId::NoMemoryMap);
        return 0;
    }
    return ImageOfFile(dfuPath, notFoundText, operation);
}

// The file's image of alternate setting 1 with at least one element, or 0
// when there is none (what went wrong has been shown).
DfuHandle DfuOperations::ImageOfFile(const std::string& dfuPath, const char* notFoundText, std::int32_t operation) {
    DfuHandle file = 0;
    std::uint8_t imageCount = 0;
    const DfuResult opened = library_.OpenExistingDFUFile(dfuPath.c_str(), &file, &imageCount);
    if (!Succeeded(opened)) {
        // Nothing ran yet: the report carries only the operation and the
        // file's error, not stale values from an earlier operation.
        DfuOperationContext context{};
        context.Operation = operation;
        context.ErrorCode = opened;
        device_.ReportStatus(context);
        device_.ShowError(notFoundText);
        return 0;
    }

    DfuHandle selected = 0;
    for (int index = 0; index < imageCount && selected == 0; ++index) {
        DfuHandle image = 0;
        if (!Succeeded(library_.ReadImageFromDFUFile(file, index, &image)))
            continue;
        std::uint8_t alternateSetting = 0;
        if (Succeeded(library_.GetImageAlternate(image, &alternateSetting)) &&
            alternateSetting == kDataAlternateSetting)
            selected = image;
        else
            DestroyImage(image);
    }
    library_.CloseDFUFile(file);

    // An image without an element has nothing to transfer; launching it would
    // report success for a transfer that never happened.
    if (selected != 0 && !HasElements(selected)) {
        DestroyImage(selected);
        selected = 0;
    }
    if (selected == 0)
        device_.ShowError(notFoundText);
    return selected;
}

// The launch record for the device found; false when its path does not fit
// the record (a cut path would name another device, or none).
bool DfuOperations::FillContext(DfuOperationContext& context, std::int32_t operation) {
    return MakeDfuOperationContext(device_.DevicePath.Get(), operation, 0, context);
}

// A failure after the image was chosen but before anything was launched: shown
// like a failed launch, and the images go back to the library.
bool DfuOperations::FailBeforeLaunch(DfuOperationContext& context, DfuResult result, DfuHandle selected,
                                     DfuHandle kept) {
    DestroyImage(selected);
    DestroyImage(kept);
    context.ErrorCode = result;
    device_.ReportStatus(context);
    return false;
}

bool DfuOperations::LaunchAndWait(DfuOperationContext& context, DfuHandle kept, AutoResetEvent& done,
                                  DeviceOperation shownAs) {
    // Only a signal for this operation may release the wait.
    done.Reset();

    DfuHandle handle = 0;
    if (const DfuResult launched = LaunchDfuOperation(library_, context, handle); !Succeeded(launched))
        return FailBeforeLaunch(context, launched, context.Image, kept);

    // Said before the monitor can see the operation, so that its first
    // percent never comes before its start.
    device_.launchedAs_.store(shownAs);
    device_.Events.Publish(CycleEvents::OperationStarted{shownAs});
    // Only the monitor's release may report success, never an earlier operation's.
    device_.operationSucceeded_.store(false);
    device_.KeptImage.store(kept);
    device_.OperationHandle.store(handle);  // from here on the monitor owns the operation

    // A program end that came while this operation was prepared found nothing
    // to stop, and the Reset above took its release: it is seen here instead.
    if (!device_.ShuttingDown.load())
        done.Wait();
    StopIfNotReleasedByMonitor(handle, context.Image);
    return device_.operationSucceeded_.load();
}

// The monitor clears OperationHandle before it releases the worker; a handle
// still published means a program end released it. The operation is stopped
// here (its transfer thread joined) rather than left running past the worker.
void DfuOperations::StopIfNotReleasedByMonitor(DfuHandle launched, DfuHandle launchedImage) {
    const DfuHandle running = device_.StopOperation();
    if (running == 0)
        return;
    // A chained write pass runs on the kept copy, which stays in KeptImage for
    // ReleaseOperationResources; the launched pass runs on the image chosen here.
    if (running == launched)
        DestroyImage(launchedImage);
}

bool DfuOperations::Upgrade(const std::string& dfuPath) {
    if (!device_.MonitorAttached())
        return false;
    const DfuHandle selected = SelectImage(dfuPath, kWriteNotFound, OPERATION_ERASE);
    if (selected == 0)
        return false;

    DfuOperationContext context{};
    if (!FillContext(context, OPERATION_ERASE))
        return FailBeforeLaunch(context, STDFU_BAD_PARAMETER, selected, 0);

    // A copy left over from a write whose erase pass failed.
    DestroyKeptImage();
    DfuHandle kept = 0;
    DfuResult result = library_.DuplicateImage(selected, &kept);
    if (!Succeeded(result))
        return FailBeforeLaunch(context, result, selected, 0);

    result = FilterForDataFlash(kept, OPERATION_UPGRADE);
    if (Succeeded(result))
        result = FilterForDataFlash(selected, OPERATION_ERASE);
    if (!Succeeded(result))
        return FailBeforeLaunch(context, result, selected, kept);

    context.Image = selected;
    return LaunchAndWait(context, kept, device_.signals_->StepEvent, DeviceOperation::Write);
}

// The identity read of `range`: its bytes become the identity fields.
bool DfuOperations::ReadIdentity(FlashRange range) {
    std::vector<std::uint8_t> bytes;
    if (!Read(range, bytes, DeviceOperation::IdentityRead))
        return false;
    if (!StoreIdentity(bytes)) {
        device_.ShowError(kNoElementData);
        return false;
    }
    return true;
}

// The identity read's bytes into the identity fields; false, with the fields
// as they were, when they cannot hold an identity block.
bool DfuOperations::StoreIdentity(std::span<const std::uint8_t> bytes) {
    const auto fields = ParseIdentityBlock(bytes);
    if (!fields)
        return false;
    device_.DeviceSerial.Set(fields->serial);
    device_.DeviceIdText.Set(fields->idText);
    device_.DeviceProductName.Set(fields->productName);
    return true;
}

// Writing a DFU file's image into the device, reading a region back, and the
// operation monitor that the UI side ticks every 100 ms.
//
// Hand-over between the threads: the worker prepares the images and launches
// the operation, and only then publishes its handle in OperationHandle; from
// that moment the monitor alone touches the operation, KeptImage and the
// identity fields, until it clears OperationHandle and releases the worker
// through StepEvent (write) or UploadEvent (read-back). Releasing is always
// the last thing a tick does, so the worker never meets an image the monitor
// is still using.

#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "common/bar_colours.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_mapping.h"
#include "device/identity_block.h"
#include "common/message_box_port.h"
#include "common/progress_bar_port.h"
#include "common/cycle_signals.h"
#include "common/working_files.h"

namespace {

constexpr std::uint8_t kDataAlternateSetting = 1;

constexpr const char* kWriteNotFound = "Unable to find data for that device/target from the file ...";
constexpr const char* kUploadNotFound = "Unable to find data for that target in the dfu file...";
constexpr const char* kNoMemoryMap = "Unable to read the memory map of the device...";
constexpr const char* kUnsupportedFeature = "This feature is not supported by this firmware.";
constexpr const char* kNoElements = "Unable to get elements from read image...";
constexpr const char* kNoElementData = "Unable to get data from read image...";
constexpr const char* kVerifySuccessful = "Verify successful !";

bool Succeeded(DfuResult result) { return result == STDFU_NOERROR; }

bool IsWrite(std::int32_t operation) { return operation == OPERATION_ERASE || operation == OPERATION_UPGRADE; }

}  // namespace

class DfuOperations {
public:
    explicit DfuOperations(CDfuDevice& device)
        : device_(device), library_(device.library_) {}

    bool Upgrade(const std::string& dfuPath);
    bool Upload(const std::string& dfuPath);
    void Monitor();

    bool EraseAndProgram(FlashRange erase, std::uint32_t address, std::span<const std::uint8_t> data);
    bool Read(FlashRange range, std::vector<std::uint8_t>& data);
    bool LoadElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data);
    bool Layout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector);

private:
    // --- preparation, on the worker thread
    DfuHandle SelectImage(const std::string& dfuPath, const char* notFoundText, std::int32_t operation);
    bool RebuildMap();
    bool HasElements(DfuHandle image);
    DfuMapping* DataMapEntry() const;
    DfuResult FilterForDataFlash(DfuHandle image, std::int32_t operation);
    bool FillContext(DfuOperationContext& context, std::int32_t operation);
    bool FailBeforeLaunch(DfuOperationContext& context, DfuResult result, DfuHandle selected, DfuHandle kept);
    bool LaunchAndWait(DfuOperationContext& context, DfuHandle kept, AutoResetEvent& done, Colour scheme,
                       bool alwaysShowBar);
    void StopIfNotReleasedByMonitor(DfuHandle launched, DfuHandle launchedImage);
    DfuHandle RegionImage(std::int32_t operation, std::uint32_t address, std::span<const std::uint8_t> data,
                          DfuOperationContext& context);

    // --- monitor steps, on the UI thread
    void OnOperationFailed(DfuOperationContext& context);
    void ChainUpgradeAfterErase(DfuOperationContext& context);
    bool ReadBack(DfuHandle image);
    bool ReadElement(DfuHandle image, std::uint32_t index);
    bool CopyReadBack(DfuHandle image, std::vector<std::uint8_t>& into);
    bool ElementBytes(DfuHandle image, std::uint32_t index, std::vector<std::uint8_t>& bytes);
    void Release(std::int32_t operation, bool succeeded);

    // --- small helpers
    bool ShowingProgress() const;
    void DestroyImage(DfuHandle image);
    void DestroyKeptImage();

    CDfuDevice& device_;
    DfuLibrary& library_;
};

// ---------------------------------------------------------------------------
// Preparation

bool DfuOperations::ShowingProgress() const {
    return device_.signals_->ShowProgress.load() == 1;
}

void DfuOperations::DestroyImage(DfuHandle image) {
    if (image != 0)
        library_.DestroyImage(&image);
}

void DfuOperations::DestroyKeptImage() { DestroyImage(device_.KeptImage.exchange(0)); }

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
        device_.ShowError(kNoMemoryMap);
        return 0;
    }

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

bool DfuOperations::FillContext(DfuOperationContext& context, std::int32_t operation) {
    context = DfuOperationContext{};
    context.DfuInterfaceGuid = ::DfuInterfaceGuid;
    context.SecondInterfaceGuid = ::SecondInterfaceGuid;
    context.Operation = operation;
    context.Flag = 0;
    const std::string path = device_.DevicePath.Get();
    // A cut path would name another device, or none.
    if (path.size() >= sizeof context.DevicePath)
        return false;
    std::memcpy(context.DevicePath, path.c_str(), path.size() + 1);
    return true;
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
                                  Colour scheme, bool alwaysShowBar) {
    // Only a signal for this operation may release the wait.
    done.Reset();

    DfuHandle handle = 0;
    if (const DfuResult launched = LaunchDfuOperation(library_, context, handle); !Succeeded(launched))
        return FailBeforeLaunch(context, launched, context.Image, kept);

    // The bar is set up before the monitor can see the operation, so its
    // first percent is never overwritten by this reset.
    if (alwaysShowBar || ShowingProgress()) {
        device_.progressBar_->SetPos(0);
        device_.progressBar_->SetText("");
        device_.progressBar_->SetShowText(true);
        BarColours::Apply(*device_.progressBar_, scheme);
    }
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
    return LaunchAndWait(context, kept, device_.signals_->StepEvent, BarColours::Write, false);
}

bool DfuOperations::Upload(const std::string& dfuPath) {
    if (!device_.MonitorAttached())
        return false;
    const DfuHandle selected = SelectImage(dfuPath, kUploadNotFound, OPERATION_UPLOAD);
    if (selected == 0)
        return false;

    DfuOperationContext context{};
    if (!FillContext(context, OPERATION_UPLOAD))
        return FailBeforeLaunch(context, STDFU_BAD_PARAMETER, selected, 0);

    DestroyKeptImage();
    DfuResult result = FilterForDataFlash(selected, OPERATION_UPLOAD);
    if (!Succeeded(result))
        return FailBeforeLaunch(context, result, selected, 0);
    context.Image = selected;
    // Without the kept copy the read-back would not be parsed but appended
    // to a file: refuse rather than launch.
    DfuHandle kept = 0;
    result = library_.DuplicateImage(selected, &kept);
    if (!Succeeded(result))
        return FailBeforeLaunch(context, result, selected, 0);

    return LaunchAndWait(context, kept, device_.signals_->UploadEvent, BarColours::Upload, true);
}

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
        device_.ShowError(kNoMemoryMap);
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
        return LaunchAndWait(context, 0, device_.signals_->StepEvent, BarColours::Write, false);
    }
    // The erase image's bytes are never sent; only its range counts.
    const std::vector<std::uint8_t> range(erase.length, 0xFF);
    const DfuHandle eraseImage = RegionImage(OPERATION_ERASE, erase.address, range, context);
    if (eraseImage == 0) {
        DestroyImage(program);
        return false;
    }
    context.Image = eraseImage;
    return LaunchAndWait(context, program, device_.signals_->StepEvent, BarColours::Write, false);
}

bool DfuOperations::Read(FlashRange range, std::vector<std::uint8_t>& data) {
    data.clear();
    if (!device_.MonitorAttached() || range.length == 0 || range.length > kDfuLargestRegion)
        return false;
    device_.Target = 1;
    DfuOperationContext context{};
    if (!RebuildMap()) {
        device_.ShowError(kNoMemoryMap);
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
    const bool read = LaunchAndWait(context, kept, device_.signals_->UploadEvent, BarColours::Upload, false);
    device_.readBackInto_.store(nullptr);
    if (!read || received.size() != range.length)
        return false;
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
    loaded = loaded && ElementBytes(image, 0, data);
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

// ---------------------------------------------------------------------------
// The monitor

void DfuOperations::Release(std::int32_t operation, bool succeeded) {
    device_.operationSucceeded_.store(succeeded);
    if (operation == OPERATION_UPLOAD)
        device_.signals_->UploadEvent.Set();
    else if (IsWrite(operation))
        device_.signals_->StepEvent.Set();
}

void DfuOperations::OnOperationFailed(DfuOperationContext& context) {
    const std::int32_t operation = context.Operation;
    if (operation == OPERATION_UPGRADE)
        device_.KeptImage.store(0);  // it is the context's image, destroyed just below
    else if (operation == OPERATION_UPLOAD)
        DestroyKeptImage();
    DestroyImage(context.Image);
    device_.OperationHandle.store(0);

    if (context.ErrorCode == STDFU_UNSUPPORTED_FEATURE) {
        device_.messageBox_->ShowMessageBox(kUnsupportedFeature);
    } else {
        device_.ReportStatus(context);
    }
    Release(operation, false);
}

void DfuOperations::ChainUpgradeAfterErase(DfuOperationContext& context) {
    DestroyImage(context.Image);
    context.Operation = OPERATION_UPGRADE;
    context.Image = device_.KeptImage.load();
    device_.OperationHandle.store(0);  // the erase pass is stopped; never query it again

    DfuHandle next = 0;
    const DfuResult launched = LaunchDfuOperation(library_, context, next);
    if (Succeeded(launched)) {
        device_.OperationHandle.store(next);
        return;
    }
    DestroyKeptImage();
    context.ErrorCode = launched;
    device_.ReportStatus(context);
    Release(OPERATION_UPGRADE, false);
}

// The element's bytes, with one byte more (a NUL) for the last text of an
// identity block.
bool DfuOperations::ElementBytes(DfuHandle image, std::uint32_t index, std::vector<std::uint8_t>& bytes) {
    DfuElement element{};
    if (!Succeeded(library_.GetImageElement(image, index, &element)) || element.dwDataLength > kDfuLargestRegion)
        return false;
    const std::size_t length = element.dwDataLength;
    bytes.assign(length + 1, 0);
    element.Data = bytes.data();
    if (!Succeeded(library_.GetImageElement(image, index, &element)))
        return false;
    bytes[length] = 0;
    bytes.resize(length);
    return true;
}

bool DfuOperations::ReadElement(DfuHandle image, std::uint32_t index) {
    std::vector<std::uint8_t> buffer;
    if (!ElementBytes(image, index, buffer))
        return false;
    const auto fields = ParseIdentityBlock(std::span<const std::uint8_t>(buffer.data(), buffer.size()));
    if (!fields)
        return false;  // too short to hold the identity block
    device_.DeviceSerial.Set(fields->serial);
    device_.DeviceIdText.Set(fields->idText);
    device_.DeviceProductName.Set(fields->productName);
    return true;
}

// A region read: the elements' bytes in order, nothing parsed.
bool DfuOperations::CopyReadBack(DfuHandle image, std::vector<std::uint8_t>& into) {
    into.clear();
    std::uint32_t count = 0;
    if (!Succeeded(library_.GetImageNbElement(image, &count)) || count == 0) {
        device_.ShowError(kNoElements);
        return false;
    }
    if (!DfuRegionBytes(library_, image, into)) {
        device_.ShowError(kNoElementData);
        return false;
    }
    return true;
}

bool DfuOperations::ReadBack(DfuHandle image) {
    if (std::vector<std::uint8_t>* into = device_.readBackInto_.load()) {
        const bool copied = CopyReadBack(image, *into);
        DestroyKeptImage();
        return copied;
    }
    bool succeeded = true;
    std::uint32_t count = 0;
    if (!Succeeded(library_.GetImageNbElement(image, &count)) || count == 0) {
        device_.ShowError(kNoElements);
        succeeded = false;
    }
    for (std::uint32_t index = 0; succeeded && index < count; ++index) {
        if (!ReadElement(image, index)) {
            device_.ShowError(kNoElementData);
            succeeded = false;
        }
    }
    DestroyKeptImage();
    if (succeeded && ShowingProgress())
        device_.ShowMessage(kVerifySuccessful);
    return succeeded;
}

void DfuOperations::Monitor() {
    const DfuHandle handle = device_.OperationHandle.load();
    if (handle == 0)
        return;

    DfuOperationContext context{};
    const DfuPollState state = PollDfuOperation(library_, handle, context);
    if (state == DfuPollState::Failed) {
        OnOperationFailed(context);
        return;
    }

    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%i%%", static_cast<int>(context.Percent));
    if (ShowingProgress()) {
        device_.progressBar_->SetText(percentText);
        device_.progressBar_->SetPos(context.Percent);
    }
    if (state == DfuPollState::Running)
        return;

    const std::int32_t operation = context.Operation;
    // An erase without a kept copy to write is an erase of its own.
    if (operation == OPERATION_ERASE && device_.KeptImage.load() != 0) {
        ChainUpgradeAfterErase(context);
        return;
    }

    if (ShowingProgress())
        device_.progressBar_->SetPos(100);
    device_.OperationHandle.store(0);

    bool succeeded = false;
    if (operation == OPERATION_UPLOAD) {
        // Every read keeps a copy of its image (Upload, Read): it is parsed.
        succeeded = ReadBack(context.Image);
    } else if (operation == OPERATION_UPGRADE) {
        device_.ShowMessage("100%");
        device_.KeptImage.store(0);  // it is the context's image
        succeeded = true;
    } else if (operation == OPERATION_ERASE) {
        device_.ShowMessage("100%");
        succeeded = true;
    }
    DestroyImage(context.Image);
    Release(operation, succeeded);
}

// ---------------------------------------------------------------------------
// CDfuDevice entry points

void CDfuDevice::ReleaseOperationResources() {
    if (OperationHandle.load() != 0)
        return;
    if (DfuHandle kept = KeptImage.exchange(0); kept != 0)
        library_.DestroyImage(&kept);
    if (Mapping) {
        library_.DestroyMapping(&Mapping);
        Mapping = nullptr;
    }
}

DfuHandle CDfuDevice::StopOperation() {
    const DfuHandle running = OperationHandle.exchange(0);
    if (running == 0)
        return 0;
    DfuOperationContext context{};
    library_.StopOperation(running, &context);
    return running;
}

bool CDfuDevice::UpgradeDevice(const std::string& base) {
    return DfuOperations(*this).Upgrade(base + WorkingFile::DfuExt);
}

bool CDfuDevice::UploadFromDevice(const std::string& dfuPath) { return DfuOperations(*this).Upload(dfuPath); }

bool CDfuDevice::EraseRegion(FlashRange range) {
    if (range.length == 0)
        return false;
    return DfuOperations(*this).EraseAndProgram(range, 0, {});
}

bool CDfuDevice::ProgramRegion(std::uint32_t address, std::span<const std::uint8_t> data, FlashRange eraseFirst) {
    if (data.empty())
        return false;
    return DfuOperations(*this).EraseAndProgram(eraseFirst, address, data);
}

bool CDfuDevice::ReadRegion(FlashRange range, std::vector<std::uint8_t>& data) {
    return DfuOperations(*this).Read(range, data);
}

bool CDfuDevice::LoadDfuElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data) {
    return DfuOperations(*this).LoadElement(dfuPath, address, data);
}

bool CDfuDevice::DataFlashLayout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector) {
    return DfuOperations(*this).Layout(address, transferSize, sector);
}

void CDfuDevice::MonitorOperation() { DfuOperations(*this).Monitor(); }

void CDfuDevice::ShowError(const std::string& text) {
    BarColours::Apply(*progressBar_, BarColours::Error);
    progressBar_->SetText(text);
    progressBar_->SetShowText(true);
}

void CDfuDevice::ShowMessage(const std::string& text) {
    progressBar_->SetText(text);
    progressBar_->SetShowText(true);
}

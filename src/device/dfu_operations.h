#pragma once

// The DFU operations of CDfuDevice, shared by their source files: launching
// (dfu_operation_launch.cpp), the region operations of the database write
// (dfu_region_operations.cpp), the monitor (dfu_monitor.cpp), and the
// entry points (dfu_operations.cpp).
//
// Hand-over between the threads: the worker prepares the images and launches
// the operation, and only then publishes its handle in OperationHandle; from
// that moment the monitor alone touches the operation, KeptImage and the
// read's bytes (readBackInto_), until it clears OperationHandle and releases the worker
// through StepEvent (write) or UploadEvent (read-back). Releasing is always
// the last thing a tick does, so the worker never meets an image the monitor
// is still using.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/auto_reset_event.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_library.h"

// The texts and small rules the steps share.
namespace DfuOperationsShared {

inline constexpr std::uint8_t kDataAlternateSetting = 1;

inline constexpr const char* kWriteNotFound = "Unable to find data for that device/target from the file ...";
inline constexpr const char* kNoMemoryMap = "Unable to read the memory map of the device...";
inline constexpr const char* kUnsupportedFeature = "This feature is not supported by this firmware.";
inline constexpr const char* kNoElements = "Unable to get elements from read image...";
inline constexpr const char* kNoElementData = "Unable to get data from read image...";

inline bool Succeeded(DfuResult result) { return result == STDFU_NOERROR; }

inline bool IsWrite(std::int32_t operation) { return operation == OPERATION_ERASE || operation == OPERATION_UPGRADE; }

}  // namespace DfuOperationsShared

class DfuOperations {
public:
    explicit DfuOperations(CDfuDevice& device)
        : device_(device), library_(device.library_) {}

    bool Upgrade(const std::string& dfuPath);
    bool ReadIdentity(FlashRange range);
    void Monitor();

    bool EraseAndProgram(FlashRange erase, std::uint32_t address, std::span<const std::uint8_t> data);
    bool Read(FlashRange range, std::vector<std::uint8_t>& data, DeviceOperation shownAs = DeviceOperation::Read);
    bool LoadElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data);
    bool Layout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector);

private:
    // --- preparation, on the worker thread
    DfuHandle SelectImage(const std::string& dfuPath, const char* notFoundText, std::int32_t operation);
    DfuHandle ImageOfFile(const std::string& dfuPath, const char* notFoundText, std::int32_t operation);
    bool StoreIdentity(std::span<const std::uint8_t> bytes);
    bool RebuildMap();
    bool HasElements(DfuHandle image);
    DfuMapping* DataMapEntry() const;
    DfuResult FilterForDataFlash(DfuHandle image, std::int32_t operation);
    bool FillContext(DfuOperationContext& context, std::int32_t operation);
    bool FailBeforeLaunch(DfuOperationContext& context, DfuResult result, DfuHandle selected, DfuHandle kept);
    // `shownAs` is what the operation is to the user (OperationStarted).
    bool LaunchAndWait(DfuOperationContext& context, DfuHandle kept, AutoResetEvent& done, DeviceOperation shownAs);
    void StopIfNotReleasedByMonitor(DfuHandle launched, DfuHandle launchedImage);
    DfuHandle RegionImage(std::int32_t operation, std::uint32_t address, std::span<const std::uint8_t> data,
                          DfuOperationContext& context);

    // --- monitor steps, on the UI thread
    void OnOperationFailed(DfuOperationContext& context);
    void ChainUpgradeAfterErase(DfuOperationContext& context);
    bool ReadBack(DfuHandle image);
    bool CopyReadBack(DfuHandle image, std::vector<std::uint8_t>& into);
    void Release(std::int32_t operation, bool succeeded);

    // --- small helpers
    void PublishProgress(DeviceOperation operation, int percent) const;
    void DestroyImage(DfuHandle image);
    void DestroyKeptImage();

    CDfuDevice& device_;
    DfuLibrary& library_;
};

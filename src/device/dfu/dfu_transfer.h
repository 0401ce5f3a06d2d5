#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_image_io.h"
#include "device/dfu/dfu_stop_signal.h"
#include "device/dfu/dfu_types.h"

class UsbBackend;
class DfuWire;

// One ERASE, UPGRADE or UPLOAD on a transfer thread of its own. The record is
// rewritten under a lock as the transfer goes on; Stop interrupts any wait,
// ends the thread and leaves the record as it stood.
class DfuTransfer {
public:
    DfuTransfer(const DfuOperationContext& context, UsbBackend& backend, const DfuEngineSettings& settings,
                 std::uint8_t alternateSetting, std::vector<ImageBlock> blocks);
    ~DfuTransfer();
    DfuTransfer(const DfuTransfer&) = delete;
    DfuTransfer& operator=(const DfuTransfer&) = delete;

    void Start();
    void Stop();
    DfuOperationContext Snapshot() const;
    const std::string& DevicePath() const { return devicePath_; }

private:
    void Run();
    DfuResult Execute();
    DfuResult RunErase(DfuWire& wire);
    DfuResult RunUpgrade(DfuWire& wire);
    DfuResult RunUpload(DfuWire& wire, std::uint16_t transferSize);
    void SetProgress(std::uint64_t done, std::uint64_t total);
    void SetBlock(std::uint32_t block, std::uint32_t length);

    UsbBackend& backend_;
    const DfuEngineSettings settings_;
    const std::uint8_t alternate_;
    const std::int32_t operation_;
    const DfuHandle image_;
    const std::string devicePath_;
    std::vector<ImageBlock> blocks_;

    mutable std::mutex mutex_;
    DfuOperationContext record_;
    DfuStopSignal stop_;
    std::thread thread_;
};

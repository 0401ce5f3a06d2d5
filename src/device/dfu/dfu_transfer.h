#pragma once

#include <atomic>
#include <functional>
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

// Told by a transfer thread the moment its operation has ended, so that
// whoever monitors the operation need not wait for its next poll. Any thread.
class DfuOperationEndSignal {
public:
    // Null: nobody is told. Once this returns, the earlier listener is
    // called no more.
    void Listen(std::function<void()> listener) {
        std::lock_guard lock(mutex_);
        listener_ = std::move(listener);
    }
    void Raise() {
        std::lock_guard lock(mutex_);
        if (listener_)
            listener_();
    }

private:
    std::mutex mutex_;
    std::function<void()> listener_;
};

// One ERASE, UPGRADE or UPLOAD on a transfer thread of its own. The record is
// rewritten under a lock as the transfer goes on; Stop interrupts any wait,
// ends the thread and leaves the record as it stood.
class DfuTransfer {
public:
    DfuTransfer(const DfuOperationContext& context, UsbBackend& backend, const DfuEngineSettings& settings,
                 std::uint8_t alternateSetting, std::vector<ImageBlock> blocks,
                 DfuOperationEndSignal* ended = nullptr);
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
    DfuOperationEndSignal* const ended_;
    std::thread thread_;
};

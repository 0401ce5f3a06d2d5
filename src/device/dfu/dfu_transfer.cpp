#include "device/dfu/dfu_transfer.h"

#include <algorithm>
#include <cstring>

#include "device/dfu/dfu_config_descriptor.h"
#include "device/dfu/dfu_wire.h"
#include "device/usb/usb_backend.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

std::string PathOf(const DfuOperationContext& context) {
    const char* end = static_cast<const char*>(std::memchr(context.DevicePath, 0, sizeof context.DevicePath));
    return std::string(context.DevicePath, end ? end : context.DevicePath + sizeof context.DevicePath);
}

// Block numbers are 16-bit and count from 2 after each pointer update.
constexpr std::uint32_t kLastBlock = 0xFFFF;

}  // namespace

DfuTransfer::DfuTransfer(const DfuOperationContext& context, UsbBackend& backend,
                           const DfuEngineSettings& settings, std::uint8_t alternateSetting,
                           std::vector<ImageBlock> blocks, DfuOperationEndSignal* ended)
    : backend_(backend),
      settings_(settings),
      alternate_(alternateSetting),
      operation_(context.Operation),
      image_(context.Image),
      devicePath_(PathOf(context)),
      blocks_(std::move(blocks)),
      record_(context),
      ended_(ended) {
    record_.Percent = 0;
    record_.TransferSize = 0;
    std::memset(record_.LastDfuStatus, 0, sizeof record_.LastDfuStatus);
    record_.Request = 0;
    record_.CurrentNBlock = 0;
    record_.CurrentLength = 0;
    record_.ErrorCode = STDFU_NOERROR;
}

DfuTransfer::~DfuTransfer() { Stop(); }

void DfuTransfer::Start() { thread_ = std::thread([this] { Run(); }); }

void DfuTransfer::Stop() {
    stop_.Raise();
    if (thread_.joinable())
        thread_.join();
}

DfuOperationContext DfuTransfer::Snapshot() const {
    std::lock_guard lock(mutex_);
    return record_;
}

void DfuTransfer::SetProgress(std::uint64_t done, std::uint64_t total) {
    // 100 is kept for the moment the operation has really ended.
    const std::uint64_t percent = total == 0 ? 99 : std::min<std::uint64_t>(99, done * 100 / total);
    std::lock_guard lock(mutex_);
    record_.Percent = static_cast<std::uint8_t>(percent);
}

void DfuTransfer::SetBlock(std::uint32_t block, std::uint32_t length) {
    std::lock_guard lock(mutex_);
    record_.CurrentNBlock = block;
    record_.CurrentLength = length;
}

void DfuTransfer::Run() {
#ifdef __linux__
    // The waits follow bwPollTimeout to the millisecond; the default 50 us of
    // timer slack per wait would add up over a thousand blocks.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    const DfuResult result = Execute();
    {
        std::lock_guard lock(mutex_);
        if (result == STDFU_NOERROR)
            record_.Percent = 100;
        else if (result != DfuWire::kStopped)
            record_.ErrorCode = result;
    }
    // A stopped operation's end is its stopper's business.
    if (result != DfuWire::kStopped && ended_ != nullptr)
        ended_->Raise();
}

DfuResult DfuTransfer::Execute() {
    DfuInterfaceLayout layout;
    const auto handle = OpenDfuDevice(backend_, devicePath_, layout);
    if (!handle)
        return STDFU_UNEXPECTED_ERROR;
    const std::uint16_t transferSize = layout.transferSize != 0 ? layout.transferSize : 2048;
    {
        std::lock_guard lock(mutex_);
        record_.TransferSize = transferSize;
    }
    if (handle->ClaimInterface(layout.interfaceNumber) != UsbStatus::Ok)
        return STDFU_UNEXPECTED_ERROR;
    const UsbStatus alt = handle->SetAlternateSetting(layout.interfaceNumber, alternate_);
    if (alt != UsbStatus::Ok) {
        handle->ReleaseInterface(layout.interfaceNumber);
        return alt == UsbStatus::Stall ? STDFU_BAD_PARAMETER : STDFU_UNEXPECTED_ERROR;
    }

    DfuWire wire(*handle, layout.interfaceNumber, stop_, settings_);
    wire.onRequest = [this](std::uint32_t requestCode) {
        std::lock_guard lock(mutex_);
        record_.Request = requestCode;
    };
    wire.onStatus = [this](const dfu::StatusBlock& s) {
        std::lock_guard lock(mutex_);
        dfu::EncodeStatus(s, record_.LastDfuStatus);
    };

    DfuResult result = wire.EnsureIdle();
    if (result == STDFU_NOERROR) {
        switch (operation_) {
        case OPERATION_ERASE: result = RunErase(wire); break;
        case OPERATION_UPGRADE: result = RunUpgrade(wire); break;
        case OPERATION_UPLOAD: result = RunUpload(wire, transferSize); break;
        default: result = STDFU_BAD_PARAMETER; break;
        }
    }
    // Leave the device idle for whoever comes next; an error state stays for
    // the next operation's CLRSTATUS so the status can still be read.
    if (result == STDFU_NOERROR)
        result = wire.Abort();
    handle->ReleaseInterface(layout.interfaceNumber);
    return result;
}

// One erase command per element: the filtered image holds one element per
// sector to erase.
DfuResult DfuTransfer::RunErase(DfuWire& wire) {
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        SetBlock(0, static_cast<std::uint32_t>(blocks_[i].data.size()));
        if (const DfuResult r = wire.EraseSector(blocks_[i].address); r != STDFU_NOERROR)
            return r;
        SetProgress(i + 1, blocks_.size());
    }
    return STDFU_NOERROR;
}

// Consecutive full blocks share one address pointer: block n lands at
// pointer + (n - 2) * wTransferSize. A gap, a short block or the end of the
// 16-bit block numbers starts a new run.
DfuResult DfuTransfer::RunUpgrade(DfuWire& wire) {
    const std::uint32_t size = Snapshot().TransferSize;
    std::uint64_t total = 0;
    for (const ImageBlock& b : blocks_)
        total += b.data.size();
    std::uint64_t done = 0;
    bool haveRun = false;
    std::uint32_t runStart = 0;
    std::uint32_t nextBlock = 0;
    for (const ImageBlock& element : blocks_) {
        for (std::size_t offset = 0; offset < element.data.size(); offset += size) {
            const std::size_t n = std::min<std::size_t>(size, element.data.size() - offset);
            const std::uint32_t address = element.address + static_cast<std::uint32_t>(offset);
            const bool continues = haveRun && nextBlock <= kLastBlock &&
                                   static_cast<std::uint64_t>(runStart) +
                                           static_cast<std::uint64_t>(nextBlock - 2) * size ==
                                       address;
            if (!continues) {
                SetBlock(0, 5);
                if (const DfuResult r = wire.SetAddressPointer(address); r != STDFU_NOERROR)
                    return r;
                runStart = address;
                nextBlock = 2;
                haveRun = true;
            }
            SetBlock(nextBlock, static_cast<std::uint32_t>(n));
            const auto first = element.data.data() + offset;
            if (const DfuResult r = wire.Download(static_cast<std::uint16_t>(nextBlock), {first, n}); r != STDFU_NOERROR)
                return r;
            // Only a full block keeps the run contiguous.
            nextBlock = n == size ? nextBlock + 1 : kLastBlock + 1;
            done += n;
            SetProgress(done, total);
        }
    }
    return STDFU_NOERROR;
}

// Per element: point, return to dfuIDLE (UPLOAD is refused in
// dfuDNLOAD-IDLE), read block by block, and put the data into the image.
DfuResult DfuTransfer::RunUpload(DfuWire& wire, std::uint16_t transferSize) {
    std::uint64_t total = 0;
    for (const ImageBlock& b : blocks_)
        total += b.data.size();
    std::uint64_t done = 0;
    for (ImageBlock& element : blocks_) {
        std::size_t offset = 0;
        while (offset < element.data.size()) {
            const std::uint32_t address = element.address + static_cast<std::uint32_t>(offset);
            SetBlock(0, 5);
            if (const DfuResult r = wire.SetAddressPointer(address); r != STDFU_NOERROR)
                return r;
            if (const DfuResult r = wire.Abort(); r != STDFU_NOERROR)
                return r;
            for (std::uint32_t block = 2; block <= kLastBlock && offset < element.data.size(); ++block) {
                const std::size_t n = std::min<std::size_t>(transferSize, element.data.size() - offset);
                SetBlock(block, static_cast<std::uint32_t>(n));
                if (const DfuResult r = wire.Upload(static_cast<std::uint16_t>(block), {element.data.data() + offset, n});
                    r != STDFU_NOERROR)
                    return r;
                offset += n;
                done += n;
                SetProgress(done, total);
            }
            if (const DfuResult r = wire.Abort(); r != STDFU_NOERROR)
                return r;
        }
    }
    if (ReplaceImageBlocks(image_, std::move(blocks_)) != STDFU_NOERROR)
        return STDFU_UNEXPECTED_ERROR;
    return STDFU_NOERROR;
}

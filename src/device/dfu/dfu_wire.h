#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>

#include "device/dfu/dfu_class.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_stop_signal.h"
#include "device/dfu/dfu_types.h"
#include "device/usb/usb_backend.h"

// The DFU requests of one claimed interface, each with its timeout, retries
// and GETSTATUS handshake, turning what happens on the wire into the engine's
// result codes.
class DfuWire {
public:
    // Result used internally when StopOperation cut a wait or transfer short.
    static constexpr DfuResult kStopped = 0x1234FFFF;

    // The request codes the status texts name for the DFU class requests:
    // DETACH 0x0C000000, DNLOAD 0x0D000000 ... ABORT 0x12000000.
    static constexpr std::uint32_t RequestCode(std::uint8_t bRequest) {
        return static_cast<std::uint32_t>(bRequest + 0x0C) << 24;
    }

    DfuWire(UsbDeviceHandle& handle, std::uint8_t interfaceNumber, DfuStopSignal& stop,
            const DfuEngineSettings& settings);

    // Called with the request code of every request sent (see RequestCode),
    // except the GETSTATUS that asks why a request stalled, and with every
    // status block received.
    std::function<void(std::uint32_t requestCode)> onRequest;
    std::function<void(const dfu::StatusBlock&)> onStatus;

    DfuResult GetStatus(dfu::StatusBlock& status);
    // Brings the interface to dfuIDLE: CLRSTATUS out of dfuERROR, ABORT out of
    // an idle download or upload.
    DfuResult EnsureIdle();
    DfuResult Abort();
    DfuResult SetAddressPointer(std::uint32_t address);
    DfuResult EraseSector(std::uint32_t address);
    // DNLOAD of one block followed by the GETSTATUS handshake until the device
    // is back in dfuDNLOAD-IDLE.
    DfuResult Download(std::uint16_t block, std::span<const std::uint8_t> data);
    // UPLOAD of exactly data.size() bytes.
    DfuResult Upload(std::uint16_t block, std::span<std::uint8_t> data);

private:
    UsbStatus Send(std::uint8_t request, std::uint16_t value, std::span<std::uint8_t> data,
                   std::size_t& transferred);
    UsbStatus SendRetrying(std::uint8_t request, std::uint16_t value, std::span<std::uint8_t> data,
                           std::size_t& transferred);
    DfuResult Failure(UsbStatus status);
    using Clock = std::chrono::steady_clock;
    DfuResult Handshake(Clock::time_point started);
    // Waits out one dfuDNBUSY answer to a request sent at `started`: Retry
    // error when that would keep the request busy past busyLimitMs.
    DfuResult WaitWhileBusy(const dfu::StatusBlock& status, Clock::time_point started);
    bool Wait(std::uint32_t pollTimeoutMs);
    void NoteStatus(const dfu::StatusBlock& status);

    UsbDeviceHandle& handle_;
    const std::uint8_t interface_;
    DfuStopSignal& stop_;
    const DfuEngineSettings settings_;
    bool askingWhy_ = false;  // the GETSTATUS after a stall is not the request that failed
};

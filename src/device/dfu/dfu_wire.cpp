#include "device/dfu/dfu_wire.h"

#include <algorithm>
#include <chrono>

DfuWire::DfuWire(UsbDeviceHandle& handle, std::uint8_t interfaceNumber, DfuStopSignal& stop,
                 const DfuEngineSettings& settings)
    : handle_(handle), interface_(interfaceNumber), stop_(stop), settings_(settings) {}

UsbStatus DfuWire::Send(std::uint8_t request, std::uint16_t value, std::span<std::uint8_t> data,
                        std::size_t& transferred) {
    const bool in = request == dfu::UPLOAD || request == dfu::GETSTATUS || request == dfu::GETSTATE;
    UsbSetupPacket setup;
    setup.bmRequestType = in ? dfu::kRequestIn : dfu::kRequestOut;
    setup.bRequest = request;
    setup.wValue = value;
    setup.wIndex = interface_;
    setup.wLength = static_cast<std::uint16_t>(data.size());
    if (onRequest && !askingWhy_)
        onRequest(RequestCode(request));
    return handle_.ControlTransfer(setup, data, settings_.controlTimeoutMs, transferred);
}

// For requests that may simply be asked again (GETSTATUS, UPLOAD of the same
// block): a timeout is retried a few times before it becomes an error.
UsbStatus DfuWire::SendRetrying(std::uint8_t request, std::uint16_t value, std::span<std::uint8_t> data,
                                std::size_t& transferred) {
    UsbStatus status = UsbStatus::Timeout;
    for (unsigned attempt = 0; attempt <= settings_.timeoutRetries && !stop_.Raised(); ++attempt) {
        status = Send(request, value, data, transferred);
        if (status != UsbStatus::Timeout)
            return status;
    }
    return status;
}

void DfuWire::NoteStatus(const dfu::StatusBlock& status) {
    if (onStatus)
        onStatus(status);
}

// A stall means the device refused the request; it says why in its status
// (errSTALLEDPKT when it says nothing more useful).
DfuResult DfuWire::Failure(UsbStatus status) {
    if (stop_.Raised())
        return kStopped;
    switch (status) {
    case UsbStatus::Ok: return STDFU_NOERROR;
    case UsbStatus::Timeout: return STDFU_RETRY_ERROR;
    case UsbStatus::Stall: {
        std::uint8_t raw[6] = {};
        std::size_t got = 0;
        dfu::StatusBlock block;
        askingWhy_ = true;
        const UsbStatus asked = SendRetrying(dfu::GETSTATUS, 0, raw, got);
        askingWhy_ = false;
        if (asked == UsbStatus::Ok && got == 6)
            block = dfu::DecodeStatus(raw);
        else
            block.bState = dfu::dfuERROR;
        if (block.bStatus == dfu::OK)
            block.bStatus = dfu::errSTALLEDPKT;
        NoteStatus(block);
        return STDFU_DFU_ERROR;
    }
    default: return STDFU_UNEXPECTED_ERROR;  // gone, not found, access, anything else
    }
}

DfuResult DfuWire::GetStatus(dfu::StatusBlock& status) {
    std::uint8_t raw[6] = {};
    std::size_t got = 0;
    const UsbStatus usb = SendRetrying(dfu::GETSTATUS, 0, raw, got);
    if (usb != UsbStatus::Ok)
        return Failure(usb);
    if (got != 6)
        return STDFU_BAD_STATE_MACHINE;
    status = dfu::DecodeStatus(raw);
    NoteStatus(status);
    return STDFU_NOERROR;
}

DfuResult DfuWire::WaitWhileBusy(const dfu::StatusBlock& status, Clock::time_point started) {
    // The device says how long it will still be busy: when that runs past the
    // limit there is no point in waiting for it.
    const auto busyUntil = Clock::now() + std::chrono::milliseconds(status.bwPollTimeout);
    if (busyUntil - started > std::chrono::milliseconds(settings_.busyLimitMs))
        return stop_.Raised() ? kStopped : STDFU_RETRY_ERROR;
    return Wait(status.bwPollTimeout) ? STDFU_NOERROR : kStopped;
}

bool DfuWire::Wait(std::uint32_t pollTimeoutMs) {
    const auto ms = std::min<std::uint32_t>(pollTimeoutMs, settings_.maxPollWaitMs);
    return stop_.WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

DfuResult DfuWire::Abort() {
    std::size_t got = 0;
    const UsbStatus usb = SendRetrying(dfu::ABORT, 0, {}, got);
    return usb == UsbStatus::Ok ? STDFU_NOERROR : Failure(usb);
}

DfuResult DfuWire::EnsureIdle() {
    const Clock::time_point started = Clock::now();
    for (int round = 0; round < 4; ++round) {
        dfu::StatusBlock status;
        if (const DfuResult r = GetStatus(status); r != STDFU_NOERROR)
            return r;
        std::size_t got = 0;
        switch (status.bState) {
        case dfu::dfuIDLE: return STDFU_NOERROR;
        case dfu::dfuERROR:
            if (const UsbStatus usb = SendRetrying(dfu::CLRSTATUS, 0, {}, got); usb != UsbStatus::Ok)
                return Failure(usb);
            break;
        case dfu::dfuDNBUSY:
        case dfu::dfuMANIFEST:
            if (const DfuResult r = WaitWhileBusy(status, started); r != STDFU_NOERROR)
                return r;
            break;
        case dfu::dfuDNLOAD_SYNC:
        case dfu::dfuDNLOAD_IDLE:
        case dfu::dfuUPLOAD_IDLE:
        case dfu::dfuMANIFEST_SYNC:
            if (const DfuResult r = Abort(); r != STDFU_NOERROR)
                return r;
            break;
        default: return STDFU_BAD_STATE_MACHINE;
        }
    }
    return STDFU_BAD_STATE_MACHINE;
}

// After DNLOAD: dfuDNBUSY with a poll timeout, wait exactly that long, ask
// again, until the device is back in dfuDNLOAD-IDLE or reports an error.
DfuResult DfuWire::Handshake(Clock::time_point started) {
    for (unsigned polls = 0; polls < settings_.maxBusyPolls; ++polls) {
        dfu::StatusBlock status;
        if (const DfuResult r = GetStatus(status); r != STDFU_NOERROR)
            return r;
        switch (status.bState) {
        case dfu::dfuDNLOAD_IDLE: return STDFU_NOERROR;
        case dfu::dfuERROR: return STDFU_DFU_ERROR;
        case dfu::dfuDNBUSY:
        case dfu::dfuDNLOAD_SYNC:
            if (const DfuResult r = WaitWhileBusy(status, started); r != STDFU_NOERROR)
                return r;
            break;
        default: return STDFU_BAD_STATE_MACHINE;
        }
    }
    // Still busy after every poll allowed: the same as busy for too long.
    return STDFU_RETRY_ERROR;
}

DfuResult DfuWire::Download(std::uint16_t block, std::span<const std::uint8_t> data) {
    // The data are only read, but the backend's span is writable for IN requests.
    std::span<std::uint8_t> bytes(const_cast<std::uint8_t*>(data.data()), data.size());
    const Clock::time_point started = Clock::now();
    for (unsigned attempt = 0;; ++attempt) {
        if (stop_.Raised())
            return kStopped;
        std::size_t sent = 0;
        const UsbStatus usb = Send(dfu::DNLOAD, block, bytes, sent);
        if (usb != UsbStatus::Ok && usb != UsbStatus::Timeout)
            return Failure(usb);
        if (usb == UsbStatus::Timeout) {
            // Sending again blindly could hand the device the block twice: ask
            // where it is. Busy or waiting for GETSTATUS means it got the block.
            dfu::StatusBlock status;
            if (const DfuResult r = GetStatus(status); r != STDFU_NOERROR)
                return r;
            if (status.bState == dfu::dfuIDLE || status.bState == dfu::dfuDNLOAD_IDLE) {
                if (attempt >= settings_.timeoutRetries)
                    return STDFU_RETRY_ERROR;
                continue;
            }
            if (status.bState == dfu::dfuERROR)
                return STDFU_DFU_ERROR;
            if (status.bState == dfu::dfuDNBUSY) {
                if (const DfuResult r = WaitWhileBusy(status, started); r != STDFU_NOERROR)
                    return r;
            }
        }
        return Handshake(started);
    }
}

DfuResult DfuWire::SetAddressPointer(std::uint32_t address) {
    const std::uint8_t command[5] = {dfu::kCommandSetAddressPointer, static_cast<std::uint8_t>(address),
                                     static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address >> 16),
                                     static_cast<std::uint8_t>(address >> 24)};
    return Download(dfu::kCommandBlock, command);
}

DfuResult DfuWire::EraseSector(std::uint32_t address) {
    const std::uint8_t command[5] = {dfu::kCommandErase, static_cast<std::uint8_t>(address),
                                     static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address >> 16),
                                     static_cast<std::uint8_t>(address >> 24)};
    return Download(dfu::kCommandBlock, command);
}

DfuResult DfuWire::Upload(std::uint16_t block, std::span<std::uint8_t> data) {
    std::size_t got = 0;
    const UsbStatus usb = SendRetrying(dfu::UPLOAD, block, data, got);
    if (usb != UsbStatus::Ok)
        return Failure(usb);
    // A short answer would mean the device ended the upload early.
    return got == data.size() ? STDFU_NOERROR : STDFU_BAD_STATE_MACHINE;
}

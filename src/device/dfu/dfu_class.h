#pragma once

#include <cstdint>

#include "device/usb/usb_backend.h"

// USB DFU 1.1 class requests, states and statuses as they travel on the wire,
// shared by the protocol engine and the virtual Orvo.
namespace dfu {

enum Request : std::uint8_t {
    DETACH = 0,
    DNLOAD = 1,
    UPLOAD = 2,
    GETSTATUS = 3,
    CLRSTATUS = 4,
    GETSTATE = 5,
    ABORT = 6,
};

constexpr std::uint8_t kRequestOut = 0x21;  // class, interface, host to device
constexpr std::uint8_t kRequestIn = 0xA1;   // class, interface, device to host

enum State : std::uint8_t {
    appIDLE = 0,
    appDETACH = 1,
    dfuIDLE = 2,
    dfuDNLOAD_SYNC = 3,
    dfuDNBUSY = 4,
    dfuDNLOAD_IDLE = 5,
    dfuMANIFEST_SYNC = 6,
    dfuMANIFEST = 7,
    dfuMANIFEST_WAIT_RESET = 8,
    dfuUPLOAD_IDLE = 9,
    dfuERROR = 10,
};

enum Status : std::uint8_t {
    OK = 0,
    errTARGET = 1,
    errFILE = 2,
    errWRITE = 3,
    errERASE = 4,
    errCHECK_ERASED = 5,
    errPROG = 6,
    errVERIFY = 7,
    errADDRESS = 8,
    errNOTDONE = 9,
    errFIRMWARE = 10,
    errVENDOR = 11,
    errUSBR = 12,
    errPOR = 13,
    errUNKNOWN = 14,
    errSTALLEDPKT = 15,
};

// The boot loader's commands, sent as DNLOAD block 0.
constexpr std::uint8_t kCommandGetCommands = 0x00;
constexpr std::uint8_t kCommandSetAddressPointer = 0x21;
constexpr std::uint8_t kCommandErase = 0x41;
constexpr std::uint16_t kCommandBlock = 0;
// Data blocks start at 2: block n sits at pointer + (n - 2) * wTransferSize.
constexpr std::uint16_t kFirstDataBlock = 2;

constexpr std::uint8_t kFunctionalDescriptorType = 0x21;
constexpr std::uint8_t kInterfaceClass = DfuModeInterface::Class;
constexpr std::uint8_t kInterfaceSubClass = DfuModeInterface::SubClass;
constexpr std::uint8_t kInterfaceProtocolDfuMode = DfuModeInterface::Protocol;

// GETSTATUS answer, 6 bytes on the wire.
struct StatusBlock {
    std::uint8_t bStatus = OK;
    std::uint32_t bwPollTimeout = 0;  // 24 bits, milliseconds
    std::uint8_t bState = dfuIDLE;
    std::uint8_t iString = 0;
};

inline void EncodeStatus(const StatusBlock& s, std::uint8_t out[6]) {
    out[0] = s.bStatus;
    out[1] = static_cast<std::uint8_t>(s.bwPollTimeout & 0xFF);
    out[2] = static_cast<std::uint8_t>((s.bwPollTimeout >> 8) & 0xFF);
    out[3] = static_cast<std::uint8_t>((s.bwPollTimeout >> 16) & 0xFF);
    out[4] = s.bState;
    out[5] = s.iString;
}

inline StatusBlock DecodeStatus(const std::uint8_t in[6]) {
    StatusBlock s;
    s.bStatus = in[0];
    s.bwPollTimeout = static_cast<std::uint32_t>(in[1]) | (static_cast<std::uint32_t>(in[2]) << 8) |
                      (static_cast<std::uint32_t>(in[3]) << 16);
    s.bState = in[4];
    s.iString = in[5];
    return s;
}

}  // namespace dfu

#pragma once

#include <cstddef>
#include <cstdint>

// Records and result codes shared by the DFU file library, the DFU protocol
// engine and their callers.

using DfuResult = std::uint32_t;
using DfuHandle = std::uint32_t;  // opaque; 0 means none

constexpr DfuResult STDFU_NOERROR = 0x12340000;
constexpr DfuResult STDFU_THREAD_PROBLEM = 0x12345001;
constexpr DfuResult STDFU_DFU_ALREADY_RUNNING = 0x12345007;
constexpr DfuResult STDFU_BAD_PARAMETER = 0x12345008;
constexpr DfuResult STDFU_BAD_STATE_MACHINE = 0x12345009;
constexpr DfuResult STDFU_UNEXPECTED_ERROR = 0x1234500A;
constexpr DfuResult STDFU_DFU_ERROR = 0x1234500B;
constexpr DfuResult STDFU_RETRY_ERROR = 0x1234500C;
constexpr DfuResult STDFU_UNSUPPORTED_FEATURE = 0x1234500D;
// File library results outside the named set.
constexpr DfuResult STDFUFILES_BAD_HANDLE = 0x12346001;
constexpr DfuResult STDFUFILES_FILE_ERROR = 0x12346002;
constexpr DfuResult STDFUFILES_BAD_FORMAT = 0x12346003;
constexpr DfuResult STDFUFILES_BAD_INDEX = 0x12346004;

enum DfuOperationCode : std::int32_t {
    OPERATION_DETACH = 0,
    OPERATION_RETURN = 1,
    OPERATION_UPLOAD = 2,
    OPERATION_ERASE = 3,
    OPERATION_UPGRADE = 4,
};

struct DfuElement {
    std::uint32_t dwAddress = 0;
    std::uint32_t dwDataLength = 0;
    std::uint8_t* Data = nullptr;
};

struct DfuGuid {
    std::uint8_t bytes[16];
};

// {3FE809AB-FB91-4CB5-A643-69670D52366E}
constexpr DfuGuid DfuInterfaceGuid{{0xAB, 0x09, 0xE8, 0x3F, 0x91, 0xFB, 0xB5, 0x4C,
                                    0xA6, 0x43, 0x69, 0x67, 0x0D, 0x52, 0x36, 0x6E}};
// {CB979912-5029-420A-AEB1-34FC0A7D5726}
constexpr DfuGuid SecondInterfaceGuid{{0x12, 0x99, 0x97, 0xCB, 0x29, 0x50, 0x0A, 0x42,
                                       0xAE, 0xB1, 0x34, 0xFC, 0x0A, 0x7D, 0x57, 0x26}};

#pragma pack(push, 1)
// One operation's record: filled by the caller before a launch, rewritten by
// the engine on every status query. The layout is fixed byte for byte.
struct DfuOperationContext {
    DfuGuid DfuInterfaceGuid;        // 0
    DfuGuid SecondInterfaceGuid;     // 16
    std::int32_t Operation;          // 32
    std::int32_t Flag;               // 36
    DfuHandle Image;                 // 40
    char DevicePath[260];            // 44
    std::uint32_t Unused304;         // 304
    std::uint8_t Percent;            // 308
    std::uint16_t TransferSize;      // 309
    std::uint8_t LastDfuStatus[6];   // 311: bStatus, bwPollTimeout[3], bState, iString
    std::uint32_t Request;           // 317
    std::uint32_t CurrentNBlock;     // 321
    std::uint32_t CurrentLength;     // 325
    std::uint8_t Unused329[8];       // 329
    std::uint32_t ErrorCode;         // 337
};
#pragma pack(pop)

static_assert(offsetof(DfuOperationContext, Operation) == 32);
static_assert(offsetof(DfuOperationContext, Image) == 40);
static_assert(offsetof(DfuOperationContext, DevicePath) == 44);
static_assert(offsetof(DfuOperationContext, Percent) == 308);
static_assert(offsetof(DfuOperationContext, TransferSize) == 309);
static_assert(offsetof(DfuOperationContext, LastDfuStatus) == 311);
static_assert(offsetof(DfuOperationContext, Request) == 317);
static_assert(offsetof(DfuOperationContext, CurrentNBlock) == 321);
static_assert(offsetof(DfuOperationContext, CurrentLength) == 325);
static_assert(offsetof(DfuOperationContext, ErrorCode) == 337);
static_assert(sizeof(DfuOperationContext) >= 341);

inline std::uint8_t ContextStatus(const DfuOperationContext& c) { return c.LastDfuStatus[0]; }
inline std::uint8_t ContextState(const DfuOperationContext& c) { return c.LastDfuStatus[4]; }

// The device's memory map; its layout belongs to the protocol engine (see
// dfu_protocol.h). Callers only pass the entry of alternate setting 1, which
// lies kDfuMappingStride bytes past the start.
struct DfuMapping;
constexpr std::size_t kDfuMappingStride = 269;

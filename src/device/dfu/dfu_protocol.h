#pragma once

#include <cstdint>

#include "device/dfu/dfu_types.h"

// The DFU protocol engine's C-style interface: memory map, and operations that
// run on a transfer thread of their own. Every function returns STDFU_NOERROR
// on success. They work on the product's engine (DefaultDfuEngine, real
// devices); tests and tools that need another backend build a
// DfuProtocolEngine of their own.

DfuResult STDFUPRT_CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping, std::uint32_t* count);
DfuResult STDFUPRT_DestroyMapping(DfuMapping** mapping);
DfuResult STDFUPRT_LaunchOperation(DfuOperationContext* context, DfuHandle* operation);
DfuResult STDFUPRT_GetOperationStatus(DfuHandle operation, DfuOperationContext* context);
DfuResult STDFUPRT_StopOperation(DfuHandle operation, DfuOperationContext* context);

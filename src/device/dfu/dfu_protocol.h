#pragma once

#include <cstdint>

#include "device/dfu/dfu_types.h"

class UsbBackend;

// The DFU protocol engine: memory map, and operations that run on a transfer
// thread of their own. Every function returns STDFU_NOERROR on success.

DfuResult STDFUPRT_CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping, std::uint32_t* count);
DfuResult STDFUPRT_DestroyMapping(DfuMapping** mapping);
DfuResult STDFUPRT_LaunchOperation(DfuOperationContext* context, DfuHandle* operation);
DfuResult STDFUPRT_GetOperationStatus(DfuHandle operation, DfuOperationContext* context);
DfuResult STDFUPRT_StopOperation(DfuHandle operation, DfuOperationContext* context);

// The backend the engine and discovery talk through: libusb by default; tests
// and the demo install the virtual bus. Not owned.
void SetUsbBackend(UsbBackend* backend);
UsbBackend& CurrentUsbBackend();

#include "device/dfu/dfu_protocol.h"

#include "device/dfu/dfu_protocol_engine.h"

DfuResult STDFUPRT_CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping, std::uint32_t* count) {
    return DefaultDfuEngine().CreateMappingFromDevice(devicePath, mapping, count);
}

DfuResult STDFUPRT_DestroyMapping(DfuMapping** mapping) { return DfuProtocolEngine::DestroyMapping(mapping); }

DfuResult STDFUPRT_LaunchOperation(DfuOperationContext* context, DfuHandle* operation) {
    return DefaultDfuEngine().LaunchOperation(context, operation);
}

DfuResult STDFUPRT_GetOperationStatus(DfuHandle operation, DfuOperationContext* context) {
    return DefaultDfuEngine().GetOperationStatus(operation, context);
}

DfuResult STDFUPRT_StopOperation(DfuHandle operation, DfuOperationContext* context) {
    return DefaultDfuEngine().StopOperation(operation, context);
}

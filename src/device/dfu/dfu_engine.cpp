#include "device/dfu/dfu_engine.h"

#include <thread>
#include <utility>

#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol_engine.h"

DfuDeviceMap::~DfuDeviceMap() {
    if (table_ != nullptr)
        DfuProtocolEngine::DestroyMapping(&table_);
}

DfuDeviceMap::DfuDeviceMap(DfuDeviceMap&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}

DfuDeviceMap& DfuDeviceMap::operator=(DfuDeviceMap&& other) noexcept {
    if (this != &other) {
        if (table_ != nullptr)
            DfuProtocolEngine::DestroyMapping(&table_);
        table_ = std::exchange(other.table_, nullptr);
    }
    return *this;
}

DfuResult DfuDeviceMap::Read(DfuProtocolEngine& engine, const std::string& devicePath) {
    if (table_ != nullptr)
        DfuProtocolEngine::DestroyMapping(&table_);
    table_ = nullptr;
    DfuMapping* table = nullptr;
    const DfuResult result = engine.CreateMappingFromDevice(devicePath.c_str(), &table, nullptr);
    if (result == STDFU_NOERROR)
        table_ = table;
    else if (table != nullptr)
        DfuProtocolEngine::DestroyMapping(&table);
    return result;
}

DfuMapping* DfuDeviceMap::EntryOf(std::uint8_t alternateSetting) const {
    return DfuMapEntryOf(table_, alternateSetting);
}

DfuMapping* DfuMapEntryOf(DfuMapping* table, std::uint8_t alternateSetting) {
    // Entry i describes alternate setting i; a table without that entry (a
    // device with fewer alternate settings) has none to give.
    if (table == nullptr || alternateSetting >= table->entryCount)
        return nullptr;
    auto* entry = reinterpret_cast<DfuMapping*>(reinterpret_cast<unsigned char*>(table) +
                                                std::size_t{alternateSetting} * kDfuMappingStride);
    return entry->alternateSetting == alternateSetting ? entry : nullptr;
}

bool MakeDfuOperationContext(const std::string& devicePath, std::int32_t operation, DfuHandle image,
                             DfuOperationContext& context) {
    context = DfuOperationContext{};
    context.DfuInterfaceGuid = DfuInterfaceGuid;
    context.SecondInterfaceGuid = SecondInterfaceGuid;
    context.Operation = operation;
    context.Image = image;
    if (devicePath.size() >= sizeof context.DevicePath)
        return false;
    devicePath.copy(context.DevicePath, devicePath.size());
    return true;
}

DfuRunResult RunDfuOperation(DfuProtocolEngine& engine, const std::string& devicePath, std::int32_t operation,
                             DfuHandle image, const DfuRunOptions& options) {
    DfuRunResult out;
    DfuOperationContext context{};
    if (!MakeDfuOperationContext(devicePath, operation, image, context)) {
        out.error = STDFU_BAD_PARAMETER;
        return out;
    }
    DfuHandle handle = 0;
    out.error = engine.LaunchOperation(&context, &handle);
    if (out.error != STDFU_NOERROR)
        return out;
    for (;;) {
        engine.GetOperationStatus(handle, &context);
        if (options.progress)
            options.progress(context.Percent);
        if (context.ErrorCode != STDFU_NOERROR || context.Percent == 100 || (options.stop && options.stop()))
            break;
        std::this_thread::sleep_for(options.pollInterval);
    }
    engine.StopOperation(handle, &context);
    out.context = context;
    out.error = context.ErrorCode;
    out.finished = context.Percent == 100;
    return out;
}

#include "device/dfu/dfu_engine.h"

#include <utility>

#include "device/dfu/dfu_library.h"
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

DfuResult LaunchDfuOperation(DfuLibrary& library, DfuOperationContext& context, DfuHandle& handle) {
    handle = 0;
    const DfuResult launched = library.LaunchOperation(&context, &handle);
    if (launched == STDFU_NOERROR && handle == 0)
        return STDFU_UNEXPECTED_ERROR;
    return launched;
}

DfuPollState PollDfuOperation(DfuLibrary& library, DfuHandle handle, DfuOperationContext& context) {
    // The query's own result says nothing; the record's error code does.
    library.GetOperationStatus(handle, &context);
    if (context.ErrorCode == STDFU_NOERROR && context.Percent != 100)
        return DfuPollState::Running;
    const bool failed = context.ErrorCode != STDFU_NOERROR;
    library.StopOperation(handle, &context);
    return failed ? DfuPollState::Failed : DfuPollState::Finished;
}

DfuHandle MakeDfuRegionImage(DfuLibrary& library, DfuMapping* entry, std::int32_t operation, std::uint32_t address,
                             std::span<const std::uint8_t> data, DfuResult& result) {
    result = STDFU_BAD_PARAMETER;
    if (entry == nullptr || data.empty() || data.size() > kDfuLargestRegion)
        return 0;
    DfuHandle image = 0;
    result = library.CreateImage(&image, 1);
    if (result == STDFU_NOERROR && image == 0)
        result = STDFU_UNEXPECTED_ERROR;
    if (result != STDFU_NOERROR)
        return 0;
    DfuElement element{};
    element.dwAddress = address;
    element.dwDataLength = static_cast<std::uint32_t>(data.size());
    element.Data = const_cast<std::uint8_t*>(data.data());  // the library only copies it
    result = library.SetImageElement(image, 0, 1, element);
    if (result == STDFU_NOERROR)
        result = library.FilterImageForOperation(image, entry, operation, 0);
    if (result != STDFU_NOERROR) {
        library.DestroyImage(&image);
        return 0;
    }
    return image;
}

bool DfuRegionBytes(DfuLibrary& library, DfuHandle image, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::uint32_t count = 0;
    if (library.GetImageNbElement(image, &count) != STDFU_NOERROR || count == 0)
        return false;
    for (std::uint32_t index = 0; index < count; ++index) {
        DfuElement element{};
        if (library.GetImageElement(image, index, &element) != STDFU_NOERROR ||
            element.dwDataLength > kDfuLargestRegion - bytes.size()) {
            bytes.clear();
            return false;
        }
        const std::size_t start = bytes.size();
        bytes.resize(start + element.dwDataLength);
        element.Data = bytes.data() + start;
        if (library.GetImageElement(image, index, &element) != STDFU_NOERROR) {
            bytes.clear();
            return false;
        }
    }
    return true;
}

#include "device/dfu/dfu_library.h"

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_protocol_engine.h"

DfuResult EngineDfuLibrary::CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping) {
    std::uint32_t count = 0;
    return engine_.CreateMappingFromDevice(devicePath, mapping, &count);
}

DfuResult EngineDfuLibrary::DestroyMapping(DfuMapping** mapping) { return DfuProtocolEngine::DestroyMapping(mapping); }

DfuResult EngineDfuLibrary::LaunchOperation(DfuOperationContext* context, DfuHandle* operation) {
    return engine_.LaunchOperation(context, operation);
}

DfuResult EngineDfuLibrary::GetOperationStatus(DfuHandle operation, DfuOperationContext* context) {
    return engine_.GetOperationStatus(operation, context);
}

DfuResult EngineDfuLibrary::StopOperation(DfuHandle operation, DfuOperationContext* context) {
    return engine_.StopOperation(operation, context);
}

void EngineDfuLibrary::ListenForOperationEnds(std::function<void()> listener) {
    engine_.ListenForOperationEnds(std::move(listener));
}

DfuResult EngineDfuLibrary::OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint8_t* imageCount) {
    return STDFUFILES_OpenExistingDFUFile(path, file, nullptr, nullptr, nullptr, imageCount);
}

DfuResult EngineDfuLibrary::CloseDFUFile(DfuHandle file) { return STDFUFILES_CloseDFUFile(file); }

DfuResult EngineDfuLibrary::ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) {
    return STDFUFILES_ReadImageFromDFUFile(file, imageIndex, image);
}

DfuResult EngineDfuLibrary::CreateImage(DfuHandle* image, std::uint8_t alternateSetting) {
    return STDFUFILES_CreateImage(image, alternateSetting);
}

DfuResult EngineDfuLibrary::SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element) {
    return STDFUFILES_SetImageElement(image, index, insert, element);
}

DfuResult EngineDfuLibrary::DuplicateImage(DfuHandle source, DfuHandle* copy) {
    return STDFUFILES_DuplicateImage(source, copy);
}

DfuResult EngineDfuLibrary::DestroyImage(DfuHandle* image) { return STDFUFILES_DestroyImage(image); }

DfuResult EngineDfuLibrary::GetImageNbElement(DfuHandle image, std::uint32_t* count) {
    return STDFUFILES_GetImageNbElement(image, count);
}

DfuResult EngineDfuLibrary::GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) {
    return STDFUFILES_GetImageElement(image, index, element);
}

DfuResult EngineDfuLibrary::GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) {
    return STDFUFILES_GetImageAlternate(image, alternateSetting);
}

DfuResult EngineDfuLibrary::FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                                    int flag) {
    return STDFUFILES_FilterImageForOperation(image, mapEntry, operation, flag);
}

DfuLibrary& VendorDfuLibrary() {
    static EngineDfuLibrary library(DefaultDfuEngine());
    return library;
}

#include "device/dfu/dfu_library.h"

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_protocol.h"

namespace {

class VendorLibrary final : public DfuLibrary {
public:
    DfuResult CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping) override {
        std::uint32_t count = 0;
        return STDFUPRT_CreateMappingFromDevice(devicePath, mapping, &count);
    }
    DfuResult DestroyMapping(DfuMapping** mapping) override { return STDFUPRT_DestroyMapping(mapping); }
    DfuResult LaunchOperation(DfuOperationContext* context, DfuHandle* operation) override {
        return STDFUPRT_LaunchOperation(context, operation);
    }
    DfuResult GetOperationStatus(DfuHandle operation, DfuOperationContext* context) override {
        return STDFUPRT_GetOperationStatus(operation, context);
    }
    DfuResult StopOperation(DfuHandle operation, DfuOperationContext* context) override {
        return STDFUPRT_StopOperation(operation, context);
    }

    DfuResult OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint8_t* imageCount) override {
        return STDFUFILES_OpenExistingDFUFile(path, file, nullptr, nullptr, nullptr, imageCount);
    }
    DfuResult CloseDFUFile(DfuHandle file) override { return STDFUFILES_CloseDFUFile(file); }
    DfuResult ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) override {
        return STDFUFILES_ReadImageFromDFUFile(file, imageIndex, image);
    }
    DfuResult AppendImageToDFUFile(DfuHandle file, DfuHandle image) override {
        return STDFUFILES_AppendImageToDFUFile(file, image);
    }
    DfuResult CreateImage(DfuHandle* image, std::uint8_t alternateSetting) override {
        return STDFUFILES_CreateImage(image, alternateSetting);
    }
    DfuResult SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element) override {
        return STDFUFILES_SetImageElement(image, index, insert, element);
    }
    DfuResult DuplicateImage(DfuHandle source, DfuHandle* copy) override {
        return STDFUFILES_DuplicateImage(source, copy);
    }
    DfuResult DestroyImage(DfuHandle* image) override { return STDFUFILES_DestroyImage(image); }
    DfuResult GetImageNbElement(DfuHandle image, std::uint32_t* count) override {
        return STDFUFILES_GetImageNbElement(image, count);
    }
    DfuResult GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) override {
        return STDFUFILES_GetImageElement(image, index, element);
    }
    DfuResult GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) override {
        return STDFUFILES_GetImageAlternate(image, alternateSetting);
    }
    DfuResult FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                      int flag) override {
        return STDFUFILES_FilterImageForOperation(image, mapEntry, operation, flag);
    }
};

}  // namespace

DfuLibrary& VendorDfuLibrary() {
    static VendorLibrary library;
    return library;
}

#pragma once

#include <cstdint>
#include <functional>

#include "device/dfu/dfu_types.h"

// The calls the DFU operations make into the DFU file library and the
// protocol engine. The operations go through this interface rather than the
// free functions so that a test can stand in a library that fails on demand
// (a launch refused, an element that cannot be read, a firmware that does not
// support a feature): failures the real device cannot be made to produce.
class DfuLibrary {
public:
    virtual ~DfuLibrary() = default;

    // Protocol engine.
    virtual DfuResult CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping) = 0;
    virtual DfuResult DestroyMapping(DfuMapping** mapping) = 0;
    virtual DfuResult LaunchOperation(DfuOperationContext* context, DfuHandle* operation) = 0;
    virtual DfuResult GetOperationStatus(DfuHandle operation, DfuOperationContext* context) = 0;
    virtual DfuResult StopOperation(DfuHandle operation, DfuOperationContext* context) = 0;
    // Called from another thread as each launched operation ends, so that its
    // monitor need not wait for the next poll; null: nobody. A library that
    // cannot tell leaves its operations to the monitor's polls.
    virtual void ListenForOperationEnds(std::function<void()> listener) { (void)listener; }

    // File library.
    virtual DfuResult OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint8_t* imageCount) = 0;
    virtual DfuResult CloseDFUFile(DfuHandle file) = 0;
    virtual DfuResult ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) = 0;
    virtual DfuResult CreateImage(DfuHandle* image, std::uint8_t alternateSetting) = 0;
    virtual DfuResult SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element) = 0;
    virtual DfuResult DuplicateImage(DfuHandle source, DfuHandle* copy) = 0;
    virtual DfuResult DestroyImage(DfuHandle* image) = 0;
    virtual DfuResult GetImageNbElement(DfuHandle image, std::uint32_t* count) = 0;
    virtual DfuResult GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) = 0;
    virtual DfuResult GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) = 0;
    virtual DfuResult FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                              int flag) = 0;
};

class DfuProtocolEngine;

// The product's file library (STDFUFILES_*) and a protocol engine: the
// libraries as the updater uses them, on the engine given.
class EngineDfuLibrary final : public DfuLibrary {
public:
    // The engine is not owned and must outlive the library.
    explicit EngineDfuLibrary(DfuProtocolEngine& engine) : engine_(engine) {}
    DfuProtocolEngine& Engine() const { return engine_; }

    DfuResult CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping) override;
    DfuResult DestroyMapping(DfuMapping** mapping) override;
    DfuResult LaunchOperation(DfuOperationContext* context, DfuHandle* operation) override;
    DfuResult GetOperationStatus(DfuHandle operation, DfuOperationContext* context) override;
    DfuResult StopOperation(DfuHandle operation, DfuOperationContext* context) override;
    void ListenForOperationEnds(std::function<void()> listener) override;

    DfuResult OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint8_t* imageCount) override;
    DfuResult CloseDFUFile(DfuHandle file) override;
    DfuResult ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) override;
    DfuResult CreateImage(DfuHandle* image, std::uint8_t alternateSetting) override;
    DfuResult SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element) override;
    DfuResult DuplicateImage(DfuHandle source, DfuHandle* copy) override;
    DfuResult DestroyImage(DfuHandle* image) override;
    DfuResult GetImageNbElement(DfuHandle image, std::uint32_t* count) override;
    DfuResult GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) override;
    DfuResult GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) override;
    DfuResult FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                      int flag) override;

private:
    DfuProtocolEngine& engine_;
};

// The product's own libraries, on the product's engine (DefaultDfuEngine).
DfuLibrary& VendorDfuLibrary();

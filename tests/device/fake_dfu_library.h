#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/dfu/dfu_library.h"

// A DFU library that keeps its files, images and a flash in memory, runs
// operations one status query at a time, and fails wherever a test asks. It
// also checks the caller: images destroyed twice or never, stopped
// operations queried again.
class FakeDfuLibrary : public DfuLibrary {
public:
    struct Element {
        std::uint32_t address = 0;
        std::vector<std::uint8_t> data;
    };
    struct Image {
        std::uint8_t alternate = 1;
        std::vector<Element> elements;
    };
    struct Failure {
        std::uint8_t atPercent = 0;  // the first status at or past this percent fails
        DfuResult errorCode = STDFU_DFU_ERROR;
    };

    static constexpr std::uint32_t kFlashSize = 8u << 20;

    FakeDfuLibrary();

    // --- set-up
    // Registers a file; files not registered are read from disk when opened.
    void AddFile(const std::string& path, std::vector<Image> images);
    void WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> ReadFlash(std::uint32_t address, std::size_t length) const;

    DfuResult mappingResult = STDFU_NOERROR;
    // Entries of the device's map, one per alternate setting; the Orvo has two.
    std::uint8_t mapEntries = 2;
    DfuResult duplicateResult = STDFU_NOERROR;
    DfuResult elementCountResult = STDFU_NOERROR;  // for the image read back only
    bool uploadLosesElements = false;
    int failElementCall = 0;  // 1: the length request fails, 2: the data request
    std::map<std::int32_t, DfuResult> filterResult;  // by operation
    std::map<std::int32_t, DfuResult> launchResult;  // by operation
    std::map<std::int32_t, Failure> failure;         // by operation
    // Percent reported by successive status queries, by operation; the last
    // value repeats. Default: 50, then 100.
    std::map<std::int32_t, std::vector<std::uint8_t>> percents;
    // Overrides the length that the element's length request reports.
    std::map<std::uint32_t, std::uint32_t> reportedLength;

    // --- what happened
    // The images of a file as the operations last opened it.
    std::vector<Image> FileImages(const std::string& path) const;
    std::vector<std::int32_t> Launched() const;
    std::vector<DfuOperationContext> LaunchContexts() const;
    std::vector<std::int32_t> FilteredFor() const;
    std::vector<DfuMapping*> FilterMapEntries() const;
    DfuMapping* Mapping() const;
    int LiveImages() const;
    int Misuses() const;  // double destroys, queries of stopped operations, and the like
    int StatusQueries() const;

    // --- DfuLibrary
    DfuResult CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping) override;
    DfuResult DestroyMapping(DfuMapping** mapping) override;
    DfuResult LaunchOperation(DfuOperationContext* context, DfuHandle* operation) override;
    DfuResult GetOperationStatus(DfuHandle operation, DfuOperationContext* context) override;
    DfuResult StopOperation(DfuHandle operation, DfuOperationContext* context) override;
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
    struct Operation {
        DfuOperationContext context{};
        std::size_t queries = 0;
        bool stopped = false;
        bool done = false;
    };

    DfuHandle NewImage(Image image);
    void Finish(Operation& operation);
    bool IsReadBack(DfuHandle image) const;
    bool LoadFromDisk(const std::string& path);

    mutable std::mutex mutex_;
    DfuHandle nextHandle_ = 1;
    std::vector<std::uint8_t> flash_;
    std::vector<unsigned char> mapStorage_;
    bool mapLive_ = false;
    std::set<std::string> registered_;
    std::map<std::string, std::vector<Image>> files_;
    std::map<DfuHandle, std::string> openFiles_;
    std::map<DfuHandle, Image> images_;
    std::map<DfuHandle, Operation> operations_;
    std::vector<std::int32_t> launched_;
    std::vector<DfuOperationContext> launchContexts_;
    std::vector<std::int32_t> filteredFor_;
    std::vector<DfuMapping*> filterEntries_;
    int misuses_ = 0;
    int statusQueries_ = 0;
    int elementCalls_ = 0;
};

// Holds a fake library for a fixture that derives from it before the fixture
// that owns the device, so that the library outlives the device.
struct WithFakeDfuLibrary {
    FakeDfuLibrary library;
};

#include "fake_dfu_library.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "device/dfu/dfu_files_format.h"

FakeDfuLibrary::FakeDfuLibrary() : flash_(kFlashSize, 0xFF), mapStorage_(2 * kDfuMappingStride, 0) {}

void FakeDfuLibrary::AddFile(const std::string& path, std::vector<Image> images) {
    std::lock_guard lock(mutex_);
    registered_.insert(path);
    files_[path] = std::move(images);
}

void FakeDfuLibrary::WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    std::copy(bytes.begin(), bytes.end(), flash_.begin() + address);
}

std::vector<std::uint8_t> FakeDfuLibrary::ReadFlash(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    return {flash_.begin() + address, flash_.begin() + address + static_cast<std::ptrdiff_t>(length)};
}

std::vector<FakeDfuLibrary::Image> FakeDfuLibrary::FileImages(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::vector<Image>{} : it->second;
}

std::vector<std::int32_t> FakeDfuLibrary::Launched() const {
    std::lock_guard lock(mutex_);
    return launched_;
}

std::vector<DfuOperationContext> FakeDfuLibrary::LaunchContexts() const {
    std::lock_guard lock(mutex_);
    return launchContexts_;
}

std::vector<std::int32_t> FakeDfuLibrary::FilteredFor() const {
    std::lock_guard lock(mutex_);
    return filteredFor_;
}

std::vector<DfuMapping*> FakeDfuLibrary::FilterMapEntries() const {
    std::lock_guard lock(mutex_);
    return filterEntries_;
}

DfuMapping* FakeDfuLibrary::Mapping() const {
    return reinterpret_cast<DfuMapping*>(const_cast<unsigned char*>(mapStorage_.data()));
}

int FakeDfuLibrary::LiveImages() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(images_.size());
}

int FakeDfuLibrary::Misuses() const {
    std::lock_guard lock(mutex_);
    return misuses_;
}

int FakeDfuLibrary::StatusQueries() const {
    std::lock_guard lock(mutex_);
    return statusQueries_;
}

DfuHandle FakeDfuLibrary::NewImage(Image image) {
    const DfuHandle handle = nextHandle_++;
    images_[handle] = std::move(image);
    return handle;
}

DfuResult FakeDfuLibrary::CreateMappingFromDevice(const char*, DfuMapping** mapping) {
    std::lock_guard lock(mutex_);
    if (mappingResult != STDFU_NOERROR)
        return mappingResult;
    if (mapLive_)
        ++misuses_;  // the previous map was not destroyed first
    mapLive_ = true;
    // Each entry's second byte is the table's entry count; the table is no
    // larger than that, so a pointer past it is out of bounds.
    mapStorage_.assign(std::size_t{mapEntries} * kDfuMappingStride, 0);
    for (std::size_t entry = 0; entry < mapEntries; ++entry) {
        mapStorage_[entry * kDfuMappingStride] = static_cast<unsigned char>(entry);
        mapStorage_[entry * kDfuMappingStride + 1] = mapEntries;
    }
    *mapping = reinterpret_cast<DfuMapping*>(mapStorage_.data());
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::DestroyMapping(DfuMapping** mapping) {
    std::lock_guard lock(mutex_);
    if (!mapLive_)
        ++misuses_;
    mapLive_ = false;
    *mapping = nullptr;
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::LaunchOperation(DfuOperationContext* context, DfuHandle* operation) {
    std::lock_guard lock(mutex_);
    launched_.push_back(context->Operation);
    launchContexts_.push_back(*context);
    if (auto it = launchResult.find(context->Operation); it != launchResult.end() && it->second != STDFU_NOERROR)
        return it->second;
    if (!images_.count(context->Image))
        return STDFU_BAD_PARAMETER;
    for (const auto& [handle, running] : operations_)
        if (!running.stopped)
            return STDFU_DFU_ALREADY_RUNNING;
    const DfuHandle handle = nextHandle_++;
    Operation& started = operations_[handle];
    started.context = *context;
    started.context.ErrorCode = STDFU_NOERROR;
    *operation = handle;
    return STDFU_NOERROR;
}

void FakeDfuLibrary::Finish(Operation& operation) {
    operation.done = true;
    Image& image = images_[operation.context.Image];
    for (Element& element : image.elements) {
        const auto at = flash_.begin() + element.address;
        switch (operation.context.Operation) {
        case OPERATION_ERASE: std::fill_n(at, element.data.size(), std::uint8_t{0xFF}); break;
        case OPERATION_UPGRADE: std::copy(element.data.begin(), element.data.end(), at); break;
        case OPERATION_UPLOAD: std::copy_n(at, element.data.size(), element.data.begin()); break;
        default: break;
        }
    }
    if (operation.context.Operation == OPERATION_UPLOAD && uploadLosesElements)
        image.elements.clear();
}

bool FakeDfuLibrary::IsReadBack(DfuHandle image) const {
    return std::any_of(operations_.begin(), operations_.end(), [image](const auto& entry) {
        return entry.second.done && entry.second.context.Operation == OPERATION_UPLOAD &&
               entry.second.context.Image == image;
    });
}

DfuResult FakeDfuLibrary::GetOperationStatus(DfuHandle handle, DfuOperationContext* context) {
    std::lock_guard lock(mutex_);
    ++statusQueries_;
    auto it = operations_.find(handle);
    if (it == operations_.end() || it->second.stopped) {
        ++misuses_;
        std::memset(context, 0, sizeof *context);
        context->ErrorCode = STDFU_BAD_PARAMETER;
        return STDFU_BAD_PARAMETER;
    }
    Operation& operation = it->second;
    const std::int32_t code = operation.context.Operation;
    std::vector<std::uint8_t> script{50, 100};
    if (auto p = percents.find(code); p != percents.end())
        script = p->second;
    const std::uint8_t percent = script[std::min(operation.queries, script.size() - 1)];
    ++operation.queries;

    operation.context.Percent = percent;
    operation.context.TransferSize = 2048;
    operation.context.Request = 0x0D000000;
    operation.context.CurrentNBlock = static_cast<std::uint32_t>(operation.queries);
    if (auto f = failure.find(code); f != failure.end() && percent >= f->second.atPercent) {
        operation.context.ErrorCode = f->second.errorCode;
        operation.context.LastDfuStatus[0] = 6;  // errPROG
        operation.context.LastDfuStatus[4] = 10;  // dfuERROR
    } else if (percent == 100 && !operation.done) {
        Finish(operation);
    }
    *context = operation.context;
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::StopOperation(DfuHandle handle, DfuOperationContext* context) {
    std::lock_guard lock(mutex_);
    auto it = operations_.find(handle);
    if (it == operations_.end() || it->second.stopped) {
        ++misuses_;
        return STDFU_BAD_PARAMETER;
    }
    it->second.stopped = true;
    context->Percent = it->second.context.Percent;
    return STDFU_NOERROR;
}

// A file the test did not register is read from disk, so the DFU files that
// the product itself makes can be handed to the operations.
bool FakeDfuLibrary::LoadFromDisk(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    if (!parsed.ok)
        return false;
    std::vector<Image> images;
    for (const DfuImageData& data : parsed.contents.images) {
        Image image{data.alternateSetting, {}};
        for (const DfuImageElementData& element : data.elements)
            image.elements.push_back({element.address, element.data});
        images.push_back(std::move(image));
    }
    files_[path] = std::move(images);
    return true;
}

DfuResult FakeDfuLibrary::OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint8_t* imageCount) {
    std::lock_guard lock(mutex_);
    if (!registered_.count(path) && !LoadFromDisk(path))
        files_.erase(path);
    auto it = files_.find(path);
    if (it == files_.end())
        return STDFUFILES_FILE_ERROR;
    *file = nextHandle_++;
    openFiles_[*file] = path;
    if (imageCount)
        *imageCount = static_cast<std::uint8_t>(it->second.size());
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::CloseDFUFile(DfuHandle file) {
    std::lock_guard lock(mutex_);
    if (openFiles_.erase(file) == 0) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image) {
    std::lock_guard lock(mutex_);
    auto open = openFiles_.find(file);
    if (open == openFiles_.end()) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    const auto& images = files_[open->second];
    if (imageIndex < 0 || static_cast<std::size_t>(imageIndex) >= images.size())
        return STDFUFILES_BAD_INDEX;
    *image = NewImage(images[static_cast<std::size_t>(imageIndex)]);
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::CreateImage(DfuHandle* image, std::uint8_t alternateSetting) {
    std::lock_guard lock(mutex_);
    *image = NewImage(Image{alternateSetting, {}});
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::SetImageElement(DfuHandle image, std::uint32_t index, int, DfuElement element) {
    std::lock_guard lock(mutex_);
    auto it = images_.find(image);
    if (it == images_.end()) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    if (index > it->second.elements.size() || (element.Data == nullptr && element.dwDataLength != 0))
        return STDFU_BAD_PARAMETER;
    Element stored{element.dwAddress, std::vector<std::uint8_t>(element.Data, element.Data + element.dwDataLength)};
    it->second.elements.insert(it->second.elements.begin() + index, std::move(stored));
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::DuplicateImage(DfuHandle source, DfuHandle* copy) {
    std::lock_guard lock(mutex_);
    if (duplicateResult != STDFU_NOERROR)
        return duplicateResult;
    if (!images_.count(source))
        return STDFUFILES_BAD_HANDLE;
    *copy = NewImage(images_[source]);
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::DestroyImage(DfuHandle* image) {
    std::lock_guard lock(mutex_);
    if (images_.erase(*image) == 0) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    *image = 0;
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::GetImageNbElement(DfuHandle image, std::uint32_t* count) {
    std::lock_guard lock(mutex_);
    auto it = images_.find(image);
    if (it == images_.end()) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    if (elementCountResult != STDFU_NOERROR && IsReadBack(image))
        return elementCountResult;
    *count = static_cast<std::uint32_t>(it->second.elements.size());
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element) {
    std::lock_guard lock(mutex_);
    auto it = images_.find(image);
    if (it == images_.end()) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    if (index >= it->second.elements.size())
        return STDFUFILES_BAD_INDEX;
    ++elementCalls_;
    if (failElementCall == elementCalls_)
        return STDFUFILES_BAD_INDEX;
    const Element& stored = it->second.elements[index];
    std::uint32_t length = static_cast<std::uint32_t>(stored.data.size());
    if (auto r = reportedLength.find(index); r != reportedLength.end())
        length = r->second;
    element->dwAddress = stored.address;
    if (element->Data == nullptr) {
        element->dwDataLength = length;
        return STDFU_NOERROR;
    }
    const std::size_t copied = std::min<std::size_t>(element->dwDataLength, stored.data.size());
    std::copy_n(stored.data.begin(), copied, element->Data);
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting) {
    std::lock_guard lock(mutex_);
    auto it = images_.find(image);
    if (it == images_.end()) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    *alternateSetting = it->second.alternate;
    return STDFU_NOERROR;
}

DfuResult FakeDfuLibrary::FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                                  int) {
    std::lock_guard lock(mutex_);
    filteredFor_.push_back(operation);
    filterEntries_.push_back(mapEntry);
    if (!images_.count(image)) {
        ++misuses_;
        return STDFUFILES_BAD_HANDLE;
    }
    if (auto it = filterResult.find(operation); it != filterResult.end())
        return it->second;
    return STDFU_NOERROR;
}

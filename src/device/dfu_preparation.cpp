#include "device/dfu_preparation.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "device/dfu/dfu_files.h"
#include "common/file_io.h"
#include "common/utf8_path.h"

DfuFileBuilder::~DfuFileBuilder() {
    for (DfuHandle& image : Images)
        STDFUFILES_DestroyImage(&image);
}

void DfuFileBuilder::ShowError(const std::string& text) {
    events_.Publish(CycleEvents::Error{CycleErrorKind::WorkingFiles, text, {}, ErrorCause::WorkingFile});
}

// Each DFU file the updater makes holds one image with the whole content of
// one plain file as its element. Unlike a bare "did the calls succeed" the
// operations here return whether the DFU file holds what was asked for, so
// that a caller never hands an empty or incomplete file on to the device.

void DfuFileBuilder::AddElementFile(const std::string& fileName, std::uint32_t address) {
    errno = 0;
    std::FILE* f = OpenFile(fileName, "rb");
    if (f == nullptr) {
        ShowError(DfuPreparation::IoErrorText(LastSystemError()));
        return;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(fileName), error);
    errno = 0;
    const bool closed = std::fclose(f) == 0;
    int errorCode = 0;
    if (error)
        errorCode = error.value();
    else if (!closed)
        errorCode = LastSystemError();
    else if (size > std::numeric_limits<std::uint32_t>::max())
        errorCode = EFBIG;  // an element's length is a 32-bit value
    if (errorCode != 0) {
        ShowError(DfuPreparation::IoErrorText(errorCode));
        return;
    }
    ElementEntries.push_back(DfuElementEntry{address, static_cast<std::uint32_t>(size), fileName});
}

bool DfuFileBuilder::BuildImage(int alternateSetting) {
    DfuHandle image = 0;
    if (alternateSetting < 0 || alternateSetting > 255 ||
        STDFUFILES_CreateImage(&image, static_cast<std::uint8_t>(alternateSetting)) != STDFU_NOERROR) {
        ShowError(DfuPreparation::CreateImageFailedText);
        return false;
    }
    bool complete = STDFUFILES_SetImageName(image, "") == STDFU_NOERROR;

    for (std::size_t i = 0; i < ElementEntries.size(); ++i) {
        const DfuElementEntry& entry = ElementEntries[i];
        std::vector<std::uint8_t> data;
        int errorCode = 0;
        if (!ReadWholeFile(entry.fileName, data, std::numeric_limits<std::uint32_t>::max(), errorCode)) {
            ShowError(DfuPreparation::IoErrorText(errorCode));
            // The image is dropped: release it rather than leave it behind.
            STDFUFILES_DestroyImage(&image);
            return false;
        }
        DfuElement element;
        element.dwAddress = entry.address;
        element.dwDataLength = static_cast<std::uint32_t>(data.size());
        element.Data = data.empty() ? nullptr : data.data();
        if (STDFUFILES_SetImageElement(image, static_cast<std::uint32_t>(i), 1, element) != STDFU_NOERROR) {
            ShowError(DfuPreparation::InsertElementFailedText);
            complete = false;
            break;
        }
    }
    // Kept with the elements inserted so far, as the file is still written;
    // the result tells the caller it is not the image it asked for.
    Images.push_back(image);
    return complete && !ElementEntries.empty();
}

bool DfuFileBuilder::WriteDfuFile(const std::string& path) {
    bool written = false;
    DfuHandle file = 0;
    if (STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x0000, 0x0000, 0x0000) == STDFU_NOERROR) {
        bool allAppended = true;
        for (const DfuHandle image : Images)
            allAppended = STDFUFILES_AppendImageToDFUFile(file, image) == STDFU_NOERROR && allAppended;
        const bool closed = STDFUFILES_CloseDFUFile(file) == STDFU_NOERROR;
        written = closed && allAppended && !Images.empty();
    }
    // The file holds its own copies: the images are released on every path.
    for (DfuHandle& image : Images)
        STDFUFILES_DestroyImage(&image);
    ElementEntries.clear();
    Images.clear();
    return written;
}

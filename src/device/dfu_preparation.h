#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/cycle_events.h"
#include "common/result_texts.h"
#include "device/dfu/dfu_types.h"

// Making DFU files from plain files (DfuFileBuilder) and the fixed values and
// texts it uses. Identification makes its connect-test file with it, the
// database layer its database and date files.

namespace DfuPreparation {

// The one alternate setting every image made here is for.
inline constexpr int AlternateSetting = 1;

inline constexpr const char* CreateImageFailedText = "Unable to create image from this file...";
inline constexpr const char* InsertElementFailedText = "Unable to insert one element in the image...";

// "IoError %08xh" for an operating system error code.
using ::IoErrorText;

}  // namespace DfuPreparation

// A plain file registered for the next DFU image (AddElementFile): the
// address its bytes go to, its size when it was registered, and its path.
struct DfuElementEntry {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
    std::string fileName;
    bool operator==(const DfuElementEntry&) const = default;
};

// Makes one DFU file: AddElementFile registers plain files for the next
// image, BuildImage makes that image of them, WriteDfuFile writes every image
// built into the file and starts afresh. What fails is published on the
// channel as a working-files error shown in a box.
class DfuFileBuilder {
public:
    explicit DfuFileBuilder(CycleEventChannel& events) : events_(events) {}
    // Releases images that were built but never written.
    ~DfuFileBuilder();
    DfuFileBuilder(const DfuFileBuilder&) = delete;
    DfuFileBuilder& operator=(const DfuFileBuilder&) = delete;

    void AddElementFile(const std::string& fileName, std::uint32_t address);
    bool BuildImage(int alternateSetting);
    bool WriteDfuFile(const std::string& path);

    // Element entries waiting for the next image, and images waiting for
    // the file.
    std::vector<DfuElementEntry> ElementEntries;
    std::vector<DfuHandle> Images;

private:
    void ShowError(const std::string& text);

    CycleEventChannel& events_;
};

// Reading the device's identity block and deciding whether it is an Orvo.

#include <cstdio>
#include <string>

#include "device/dfu_device.h"
#include "device/dfu_preparation.h"
#include "device/identity_block.h"
#include "common/file_io.h"
#include "common/result_texts.h"
#include "common/working_files.h"

namespace {

// What the request template holds: the block's size in placeholder
// characters. Only its length matters; the device's bytes replace it.
constexpr char kRequestTemplate[] = "00000000                                                ";
static_assert(sizeof kRequestTemplate - 1 == kIdentityBlockSize);

// Writes the template, or removes whatever was made of it. Returns the
// system's error code, 0 on success.
int WriteRequestTemplate(const std::string& path) {
    return WriteWholeFile(path, kRequestTemplate, sizeof kRequestTemplate - 1);
}

}  // namespace

// Returns 0 when the identity block was read back into DeviceSerial,
// DeviceIdText and DeviceProductName; -1 when it could not be, in which case
// the three fields are empty.
int CDfuDevice::ConnectTest() {
    // A failed read must never let a device pass on the previous device's
    // identity.
    DeviceSerial.Clear();
    DeviceIdText.Clear();
    DeviceProductName.Clear();

    const std::string base = ProgramFolder + WorkingFile::ConnectTestBase;
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;

    if (const int error = WriteRequestTemplate(binPath); error != 0) {
        ShowError(IoErrorText(error), CycleErrorKind::WorkingFiles, ErrorShown::InBox);
        return -1;
    }

    DfuFileBuilder builder(Events);
    builder.AddElementFile(binPath, kIdentityBlockAddress);
    const bool built = builder.BuildImage(DfuPreparation::AlternateSetting);
    bool read = builder.WriteDfuFile(dfuPath) && built;
    if (read)
        read = UploadFromDevice(dfuPath);

    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);
    if (!read) {
        DeviceSerial.Clear();
        DeviceIdText.Clear();
        DeviceProductName.Clear();
        return -1;
    }
    return 0;
}

IdentifyResult CDfuDevice::IdentifyDevice(const std::string& productName) {
    if (ConnectTest() != 0)
        return IdentifyResult::Unreadable;
    const IdentityFields fields{DeviceSerial.Get(), DeviceIdText.Get(), DeviceProductName.Get()};
    return AcceptsIdentity(fields, productName) ? IdentifyResult::Accepted : IdentifyResult::Rejected;
}

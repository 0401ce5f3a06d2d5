#include <cstdio>
#include <ctime>

#include "common/file_io.h"
#include "common/phase_timer.h"
#include "database/dfu_preparation.h"
#include "device/dfu_device.h"
#include "common/working_files.h"

// Kept apart from dfu_preparation.cpp so that programs which only make DFU
// files do not need the device write.

namespace DfuPreparation {

std::string DateStampBytes(const std::tm& localDate) {
    char text[16];
    if (std::strftime(text, sizeof text, "%d.%m.%y", &localDate) != 8)
        return {};
    // The line end is written as bytes, never through a text-mode
    // translation: the file is 10 bytes on every platform.
    return std::string(text) + "\r\n";
}

}  // namespace DfuPreparation

namespace {

bool LocalToday(std::tm& today) {
    const std::time_t now = std::time(nullptr);
#if defined(_WIN32)
    return localtime_s(&today, &now) == 0;
#else
    return localtime_r(&now, &today) != nullptr;
#endif
}

// Writes the date file completely or not at all.
bool WriteDateFile(const std::string& path, const std::string& bytes) {
    return WriteWholeFile(path, bytes.data(), bytes.size()) == 0;
}

}  // namespace

bool CDfuDevice::WriteDateStamp() {
    std::tm today{};
    return WriteDateStamp(LocalToday(today) ? DfuPreparation::DateStampBytes(today) : std::string());
}

bool CDfuDevice::WriteDateStamp(const std::string& bytes) {
    PhaseTimer phase(Events, RunningPhase, CyclePhase::DateStamp);
    const std::string base = ProgramFolder + WorkingFile::DateBase;
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;

    if (bytes.size() != 10 || !WriteDateFile(binPath, bytes))
        return phase.End(false);

    DfuFileBuilder builder(Events);
    builder.AddElementFile(binPath, DfuPreparation::DateStampAddress);
    const bool built = builder.BuildImage(DfuPreparation::AlternateSetting);
    const bool made = builder.WriteDfuFile(dfuPath) && built;
    // A date file that was not made completely is never written into the
    // device: a stale "Date.dfu" of an earlier run might otherwise go in.
    const bool written = made && UpgradeDevice(base);

    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);
    return phase.End(written);
}

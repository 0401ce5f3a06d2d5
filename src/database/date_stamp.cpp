#include <ctime>

#include "common/phase_timer.h"
#include "database/dfu_preparation.h"
#include "device/dfu_device.h"

// Kept apart from dfu_preparation.cpp so that programs which only make DFU
// files do not need the device write. The stamp goes straight into the
// device's memory, as every write of the database does; no file is made.

namespace DfuPreparation {

std::string DateStampBytes(const std::tm& localDate) {
    char text[16];
    if (std::strftime(text, sizeof text, "%d.%m.%y", &localDate) != 8)
        return {};
    // The line end is written as bytes, never through a text-mode
    // translation: the stamp is 10 bytes on every platform.
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

}  // namespace

bool CDfuDevice::WriteDateStamp() {
    std::tm today{};
    return WriteDateStamp(LocalToday(today) ? DfuPreparation::DateStampBytes(today) : std::string());
}

bool CDfuDevice::WriteDateStamp(const std::string& bytes) {
    PhaseTimer phase(Events, RunningPhase, CyclePhase::DateStamp);
    if (bytes.size() != DfuPreparation::DateStampLength)
        return phase.End(false);
    // One operation: the stamp's sector erased, then the bytes programmed.
    // Both ranges are checked against the device's map before the erase
    // starts, so a stamp that cannot go in leaves the device as it was.
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return phase.End(ProgramRegion(DfuPreparation::DateStampAddress, {data, bytes.size()},
                                   FlashRange{DfuPreparation::DateStampAddress, DfuPreparation::DateStampLength}));
}

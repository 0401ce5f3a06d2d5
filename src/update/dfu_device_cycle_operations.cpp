#include "update/dfu_device_cycle_operations.h"

#include "common/working_files.h"
#include "database/download_request.h"

namespace {
constexpr const char* OrvoProductName = "Orvo";
}

DfuDeviceCycleOperations::DfuDeviceCycleOperations(CDfuDevice& device, Hooks hooks)
    : device_(device), hooks_(std::move(hooks)) {}

// The worker may wait for the bus: its own look is as fresh as the bus.
bool DfuDeviceCycleOperations::FindDevice() { return device_.FindDeviceNow(); }

bool DfuDeviceCycleOperations::IsAttached(const std::string& path) { return device_.IsAttached(path); }

IdentifyResult DfuDeviceCycleOperations::IdentifyDevice() { return device_.IdentifyDevice(OrvoProductName); }

void DfuDeviceCycleOperations::SaveSettings() {
    if (hooks_.saveSettings)
        hooks_.saveSettings(device_);
}

DownloadResult DfuDeviceCycleOperations::DownloadDatabase() { return DownloadDatabaseWithDefaults(device_); }

std::string DfuDeviceCycleOperations::PrepareDatabase(const std::string& base) {
    return device_.PrepareDatabase(base);
}

// The safe database write; a device that already holds the database only
// needs its date stamp renewed, which the cycle does next.
DatabaseWriteResult DfuDeviceCycleOperations::UpgradeDevice(const std::string& base) {
    return device_.WriteDatabase(base);
}

bool DfuDeviceCycleOperations::WriteDateStamp() { return device_.WriteDateStamp(); }

void DfuDeviceCycleOperations::ShowMessage(const std::string& text) { device_.ShowMessage(text); }

void DfuDeviceCycleOperations::DeleteWorkingFiles() { ::DeleteWorkingFiles(device_.ProgramFolder); }

void DfuDeviceCycleOperations::Interrupt() {
    if (hooks_.interrupt)
        hooks_.interrupt();
}

// The entry points of CDfuDevice's DFU operations, and the helpers their
// steps share.

#include "device/dfu_operations.h"

#include "common/cycle_signals.h"
#include "common/working_files.h"

// ---------------------------------------------------------------------------
// Helpers shared by the steps

void DfuOperations::DestroyImage(DfuHandle image) {
    if (image != 0)
        library_.DestroyImage(&image);
}

void DfuOperations::DestroyKeptImage() { DestroyImage(device_.KeptImage.exchange(0)); }

// ---------------------------------------------------------------------------
// CDfuDevice entry points

void CDfuDevice::ReleaseOperationResources() {
    if (OperationHandle.load() != 0)
        return;
    if (DfuHandle kept = KeptImage.exchange(0); kept != 0)
        library_.DestroyImage(&kept);
    if (Mapping) {
        library_.DestroyMapping(&Mapping);
        Mapping = nullptr;
    }
}

DfuHandle CDfuDevice::StopOperation() {
    const DfuHandle running = OperationHandle.exchange(0);
    if (running == 0)
        return 0;
    DfuOperationContext context{};
    library_.StopOperation(running, &context);
    return running;
}

bool CDfuDevice::UpgradeDevice(const std::string& base) {
    return DfuOperations(*this).Upgrade(base + WorkingFile::DfuExt);
}


bool CDfuDevice::EraseRegion(FlashRange range) {
    if (range.length == 0)
        return false;
    return DfuOperations(*this).EraseAndProgram(range, 0, {});
}

bool CDfuDevice::ProgramRegion(std::uint32_t address, std::span<const std::uint8_t> data, FlashRange eraseFirst) {
    if (data.empty())
        return false;
    return DfuOperations(*this).EraseAndProgram(eraseFirst, address, data);
}

bool CDfuDevice::ReadRegion(FlashRange range, std::vector<std::uint8_t>& data) {
    return DfuOperations(*this).Read(range, data);
}

bool CDfuDevice::LoadDfuElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data) {
    return DfuOperations(*this).LoadElement(dfuPath, address, data);
}

bool CDfuDevice::DataFlashLayout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector) {
    return DfuOperations(*this).Layout(address, transferSize, sector);
}

void CDfuDevice::ShowError(const std::string& text, CycleErrorKind kind, ErrorCause cause, std::uint16_t textId,
                           std::vector<std::string> values) {
    Events.Publish(CycleEvents::Error{kind, text, {}, cause, ErrorSeverity::Step, textId, std::move(values)});
}

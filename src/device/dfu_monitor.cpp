// The operation monitor that the UI side ticks every 100 ms: one poll of the
// running operation, the chained write pass after an erase, the read-back's
// bytes or identity, and the release of the waiting worker.

#include "device/dfu_operations.h"

#include <cstdio>

#include "common/cycle_signals.h"
#include "common/message_box_port.h"
#include "common/progress_bar_port.h"
#include "device/dfu/dfu_engine.h"
#include "device/identity_block.h"

using namespace DfuOperationsShared;

// ---------------------------------------------------------------------------
// The monitor

void DfuOperations::Release(std::int32_t operation, bool succeeded) {
    device_.operationSucceeded_.store(succeeded);
    if (operation == OPERATION_UPLOAD)
        device_.signals_->UploadEvent.Set();
    else if (IsWrite(operation))
        device_.signals_->StepEvent.Set();
}

void DfuOperations::OnOperationFailed(DfuOperationContext& context) {
    const std::int32_t operation = context.Operation;
    if (operation == OPERATION_UPGRADE)
        device_.KeptImage.store(0);  // it is the context's image, destroyed just below
    else if (operation == OPERATION_UPLOAD)
        DestroyKeptImage();
    DestroyImage(context.Image);
    device_.OperationHandle.store(0);

    if (context.ErrorCode == STDFU_UNSUPPORTED_FEATURE) {
        device_.messageBox_->ShowMessageBox(kUnsupportedFeature);
    } else {
        device_.ReportStatus(context);
    }
    Release(operation, false);
}

void DfuOperations::ChainUpgradeAfterErase(DfuOperationContext& context) {
    DestroyImage(context.Image);
    context.Operation = OPERATION_UPGRADE;
    context.Image = device_.KeptImage.load();
    device_.OperationHandle.store(0);  // the erase pass is stopped; never query it again

    DfuHandle next = 0;
    const DfuResult launched = LaunchDfuOperation(library_, context, next);
    if (Succeeded(launched)) {
        device_.OperationHandle.store(next);
        return;
    }
    DestroyKeptImage();
    context.ErrorCode = launched;
    device_.ReportStatus(context);
    Release(OPERATION_UPGRADE, false);
}

// The element's bytes, with one byte more (a NUL) for the last text of an
// identity block.
bool DfuOperations::ElementBytes(DfuHandle image, std::uint32_t index, std::vector<std::uint8_t>& bytes) {
    DfuElement element{};
    if (!Succeeded(library_.GetImageElement(image, index, &element)) || element.dwDataLength > kDfuLargestRegion)
        return false;
    const std::size_t length = element.dwDataLength;
    bytes.assign(length + 1, 0);
    element.Data = bytes.data();
    if (!Succeeded(library_.GetImageElement(image, index, &element)))
        return false;
    bytes[length] = 0;
    bytes.resize(length);
    return true;
}

bool DfuOperations::ReadElement(DfuHandle image, std::uint32_t index) {
    std::vector<std::uint8_t> buffer;
    if (!ElementBytes(image, index, buffer))
        return false;
    const auto fields = ParseIdentityBlock(std::span<const std::uint8_t>(buffer.data(), buffer.size()));
    if (!fields)
        return false;  // too short to hold the identity block
    device_.DeviceSerial.Set(fields->serial);
    device_.DeviceIdText.Set(fields->idText);
    device_.DeviceProductName.Set(fields->productName);
    return true;
}

// A region read: the elements' bytes in order, nothing parsed.
bool DfuOperations::CopyReadBack(DfuHandle image, std::vector<std::uint8_t>& into) {
    into.clear();
    std::uint32_t count = 0;
    if (!Succeeded(library_.GetImageNbElement(image, &count)) || count == 0) {
        device_.ShowError(kNoElements);
        return false;
    }
    if (!DfuRegionBytes(library_, image, into)) {
        device_.ShowError(kNoElementData);
        return false;
    }
    return true;
}

bool DfuOperations::ReadBack(DfuHandle image) {
    if (std::vector<std::uint8_t>* into = device_.readBackInto_.load()) {
        const bool copied = CopyReadBack(image, *into);
        DestroyKeptImage();
        return copied;
    }
    bool succeeded = true;
    std::uint32_t count = 0;
    if (!Succeeded(library_.GetImageNbElement(image, &count)) || count == 0) {
        device_.ShowError(kNoElements);
        succeeded = false;
    }
    for (std::uint32_t index = 0; succeeded && index < count; ++index) {
        if (!ReadElement(image, index)) {
            device_.ShowError(kNoElementData);
            succeeded = false;
        }
    }
    DestroyKeptImage();
    if (succeeded && ShowingProgress())
        device_.ShowMessage(kVerifySuccessful);
    return succeeded;
}

void DfuOperations::Monitor() {
    const DfuHandle handle = device_.OperationHandle.load();
    if (handle == 0)
        return;

    DfuOperationContext context{};
    const DfuPollState state = PollDfuOperation(library_, handle, context);
    if (state == DfuPollState::Failed) {
        OnOperationFailed(context);
        return;
    }

    char percentText[16];
    std::snprintf(percentText, sizeof percentText, "%i%%", static_cast<int>(context.Percent));
    if (ShowingProgress()) {
        device_.progressBar_->SetText(percentText);
        device_.progressBar_->SetPos(context.Percent);
    }
    if (state == DfuPollState::Running)
        return;

    const std::int32_t operation = context.Operation;
    // An erase without a kept copy to write is an erase of its own.
    if (operation == OPERATION_ERASE && device_.KeptImage.load() != 0) {
        ChainUpgradeAfterErase(context);
        return;
    }

    if (ShowingProgress())
        device_.progressBar_->SetPos(100);
    device_.OperationHandle.store(0);

    bool succeeded = false;
    if (operation == OPERATION_UPLOAD) {
        // Every read keeps a copy of its image (Upload, Read): it is parsed.
        succeeded = ReadBack(context.Image);
    } else if (operation == OPERATION_UPGRADE) {
        device_.ShowMessage("100%");
        device_.KeptImage.store(0);  // it is the context's image
        succeeded = true;
    } else if (operation == OPERATION_ERASE) {
        device_.ShowMessage("100%");
        succeeded = true;
    }
    DestroyImage(context.Image);
    Release(operation, succeeded);
}

void CDfuDevice::MonitorOperation() { DfuOperations(*this).Monitor(); }

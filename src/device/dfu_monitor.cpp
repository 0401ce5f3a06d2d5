// The operation monitor that the engine's clock ticks every 100 ms, and at
// once when a transfer says its operation has ended: one poll of the
// running operation, the chained write pass after an erase, the read-back's
// bytes, and the release of the waiting worker.

#include "device/dfu_operations.h"

#include "common/cycle_signals.h"
#include "device/dfu/dfu_engine.h"

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
        device_.ShowError(kUnsupportedFeature, CycleErrorKind::Device, ErrorCause::UnsupportedFeature);
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

// A read's bytes: the elements' bytes in order, taken out of the read image
// by the engine, as for every read of device memory.
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

// A read hands its bytes to the worker that launched it (readBackInto_).
bool DfuOperations::ReadBack(DfuHandle image) {
    std::vector<std::uint8_t> unclaimed;
    std::vector<std::uint8_t>* into = device_.readBackInto_.load();
    const bool copied = CopyReadBack(image, into != nullptr ? *into : unclaimed);
    DestroyKeptImage();
    return copied;
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

    const DeviceOperation shownAs = device_.launchedAs_.load();
    PublishProgress(shownAs, static_cast<int>(context.Percent));
    if (state == DfuPollState::Running)
        return;

    const std::int32_t operation = context.Operation;
    // An erase without a kept copy to write is an erase of its own.
    if (operation == OPERATION_ERASE && device_.KeptImage.load() != 0) {
        ChainUpgradeAfterErase(context);
        return;
    }

    device_.OperationHandle.store(0);

    bool succeeded = false;
    if (operation == OPERATION_UPLOAD) {
        // Every read keeps a copy of its image: the bytes come out of it.
        succeeded = ReadBack(context.Image);
    } else if (operation == OPERATION_UPGRADE) {
        device_.KeptImage.store(0);  // it is the context's image
        succeeded = true;
    } else if (operation == OPERATION_ERASE) {
        succeeded = true;
    }
    DestroyImage(context.Image);
    // Before the release: the worker's next operation starts after this one
    // has finished, on every listener.
    device_.Events.Publish(CycleEvents::OperationFinished{shownAs, succeeded});
    Release(operation, succeeded);
}

// The operation's percent for the window; the phase's, which belongs to the
// phase that launched the operation, for the other listeners. An operation
// outside any phase has no phase progress to tell.
void DfuOperations::PublishProgress(DeviceOperation operation, int percent) const {
    device_.Events.Publish(CycleEvents::OperationProgress{operation, percent});
    const int phase = device_.RunningPhase.load();
    if (phase < 0 || phase >= static_cast<int>(CyclePhaseCount))
        return;
    device_.Events.Publish(CycleEvents::PhaseProgress{static_cast<CyclePhase>(phase), percent / 100.0});
}

void CDfuDevice::ListenForOperationEnds(std::function<void()> listener) {
    library_.ListenForOperationEnds(std::move(listener));
}

// What the monitor raises (a status report, a modal box) may run an event
// loop of its own, in which the monitor's timer fires again: such a tick
// leaves the operation to the tick already handling it. One thread only:
// the clock's (or a tool's or test's own).
void CDfuDevice::MonitorOperation() {
    if (monitoring_)
        return;
    monitoring_ = true;
    struct EndOfTick {
        bool& monitoring;
        ~EndOfTick() { monitoring = false; }
    } endOfTick{monitoring_};
    DfuOperations(*this).Monitor();
}

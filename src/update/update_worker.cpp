#include "update/update_worker.h"

#include <algorithm>

#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "common/view_port.h"
#include "update/cycle_operations.h"
#include "common/cycle_signals.h"
#include "common/working_files.h"
#include "update/download_failure_text.h"
#include "common/phase_timer.h"
#include "common/text_ids.h"
#include "update/holdings_text.h"

namespace {
constexpr const char* kOtherDeviceCause = "another device was attached before the write";
constexpr const char* kWriteFailedCause = "the database could not be written";
constexpr const char* kDateStampFailedCause = "the date stamp could not be written";
constexpr const char* kStoppedCause = "stopped before the cycle ended";
constexpr const char* kOtherSerialCause = "the backup belongs to another Orvo; nothing was written";
constexpr const char* kBackupGoneCause = "the backup to restore is no longer kept";
constexpr const char* kFileUnreadableCause = "the database file could not be read";
}  // namespace

UpdateWorker::UpdateWorker(CDfuDevice& device, CycleOperations& operations, ViewPort& view,
                           CycleSignals& signals, const Resources& resources)
    : device_(device),
      operations_(operations),
      view_(view),
      signals_(signals),
      resources_(resources) {
    device_.Events.Subscribe(record_);
}

UpdateWorker::~UpdateWorker() {
    RequestStop();
    Join();
    device_.Events.Unsubscribe(record_);
}

void UpdateWorker::Start() {
    if (started_.exchange(true))
        return;
    thread_ = std::thread([this] {
        Run();
        finished_ = true;
    });
}

void UpdateWorker::RequestStop() {
    // The flag first: a wait that is released by the events below, or that
    // clears StepEvent after this Set, then sees it and ends.
    stopRequested_ = true;
    operations_.Interrupt();
    signals_.StepEvent.Set();
    signals_.UploadEvent.Set();
}

CycleRequestAnswer UpdateWorker::RequestCycle(CycleRequest request) {
    std::lock_guard lock(requestMutex_);
    if (requestTaken_)
        return CycleRequestAnswer::Refused;
    pendingRequest_ = std::move(request);
    requestArrived_ = true;
    if (!waitingOnAttachedOrvo_ || Stopping())
        return CycleRequestAnswer::AtConnection;
    // An Orvo waited out after its cycle gets a cycle of its own at once.
    // The wait is released as its tick releases it, the timer stopped before
    // the worker goes on; any other wait (for an Orvo to arrive, above all)
    // is left alone: the request waits for the cycle that takes it.
    waitingOnAttachedOrvo_ = false;
    view_.StopTimer(RemovalTimer);
    signals_.StepEvent.Set();
    return CycleRequestAnswer::StartsNow;
}

void UpdateWorker::TakeRequest() {
    std::lock_guard lock(requestMutex_);
    cycleRequest_ = pendingRequest_.value_or(CycleRequest{});
    pendingRequest_.reset();
    requestArrived_ = false;
    requestTaken_ = true;
}

void UpdateWorker::ReturnRequest() {
    std::lock_guard lock(requestMutex_);
    if (cycleRequest_.source != CycleSource::Server && !pendingRequest_)
        pendingRequest_ = cycleRequest_;
    cycleRequest_ = {};
    requestTaken_ = false;
}

void UpdateWorker::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void UpdateWorker::Run() {
    auto state = static_cast<UpdateState>(signals_.UpdateState.load());
    std::int32_t entered = -1;
    while (!Stopping()) {
        if (static_cast<std::int32_t>(state) != entered) {
            entered = static_cast<std::int32_t>(state);
            Publish(CycleEvents::StateEntered{entered});
        }
        state = Step(state);
        if (!Stopping())
            signals_.UpdateState = static_cast<std::int32_t>(state);
    }
    EndCycle(CycleOutcome::Interrupted, kStoppedCause);
}

UpdateState UpdateWorker::Step(UpdateState state) {
    switch (state) {
    case UpdateState::Restart: return UpdateState::WaitForDevice;
    case UpdateState::WaitForDevice: return WaitForDevice();
    case UpdateState::Download: return Download();
    case UpdateState::Convert: return Convert();
    case UpdateState::Write: return Write();
    case UpdateState::Succeeded: return Succeeded();
    case UpdateState::WaitForUnplug: return WaitForUnplug();
    case UpdateState::Failed: return Fail();
    }
    // A shared value out of range is not a state to resume: begin afresh.
    return UpdateState::Restart;
}

UpdateState UpdateWorker::WaitForDevice() {
    // After a failure "Update Failed, Reconnect Orvo." stays until an Orvo
    // is connected again: it says what to do.
    if (!showFailedUntilArrival_)
        ShowStatus(CycleStatus::WaitingForOrvo);
    if (!operations_.FindDevice() && !WaitForView(ArrivalTimer, CycleTiming::PresencePollMs))
        return UpdateState::WaitForDevice;
    showFailedUntilArrival_ = false;
    cyclePath_ = device_.DevicePath.Get();

    // Nothing of the identity read belongs on the progress bar.
    signals_.ShowProgress = 0;
    record_.Reset();
    TakeRequest();
    const bool accepted = Identify();
    if (Stopping() || !accepted)
        ReturnRequest();
    if (Stopping())
        return UpdateState::WaitForDevice;
    // An unreadable identity block is treated like a foreign device: waited
    // out, so that a device we cannot read never ends the updater.
    if (!accepted)
        return UpdateState::WaitForUnplug;
    cycleSerial_ = device_.DeviceSerial.Get();
    cycleOpen_ = true;
    alreadyCurrent_ = false;
    lastDownload_ = {};
    holdingsAfter_ = {};
    holdingsBefore_ = operations_.ReadHoldings();
    Publish(CycleEvents::HoldingsRead{cycleSerial_, holdingsBefore_});

    ShowStatus(CycleStatus::Connecting);
    signals_.ShowProgress = 1;
    operations_.SaveSettings();
    return cycleRequest_.source == CycleSource::Server ? UpdateState::Download : UpdateState::Convert;
}

UpdateState UpdateWorker::Download() {
    // A download that stores nothing must not leave an earlier run's database
    // (perhaps another Orvo's) behind for the conversion to pick up.
    operations_.DeleteWorkingFiles();
    device_.ProgressCounter = 0;
    // Started before the animation: the phase's start empties the bar.
    PhaseTimer phase(device_.Events, device_.RunningPhase, CyclePhase::Download);
    view_.StartTimer(ProgressTimer, std::max(CycleTiming::MinAnimationMs, operations_.DownloadSizeKb()));
    lastDownload_ = operations_.DownloadDatabase();
    phase.End(lastDownload_.Stored());
    return UpdateState::Convert;
}

UpdateState UpdateWorker::Convert() {
    ShowSerialWithHoldings();
    // Replaces the download period; the counter goes on from where it stands.
    view_.StartTimer(ProgressTimer, CycleTiming::ConvertAnimationMs);
    const std::string base = DatabaseBase();
    PhaseTimer phase(device_.Events, device_.RunningPhase, CyclePhase::Convert);
    const PrepareOutcome result = cycleRequest_.source == CycleSource::Server ? operations_.PrepareDatabase(base)
                                                                              : PrepareRequested(base);
    // The animation stops before the phase's end fills the bar, so that no
    // late tick of it overwrites the full bar.
    if (!Stopping())
        view_.StopTimer(ProgressTimer);
    phase.End(result == PrepareOutcome::Ready);
    if (Stopping())
        return UpdateState::Convert;
    if (result == PrepareOutcome::Ready)
        return ConfirmSize(base) ? UpdateState::Write : KeepDatabase();
    if (!failedCause_.empty())
        return UpdateState::Failed;
    // No valid record from the server is, like a download that could not be
    // read, the network text's case.
    if (result == PrepareOutcome::TextUnreadable)
        PublishDownloadError(CycleErrorKind::Download);
    else if (result == PrepareOutcome::NoValidRecord)
        PublishDownloadError(CycleErrorKind::Conversion);
    else
        PublishWorkingFilesError();
    return UpdateState::Failed;
}

UpdateState UpdateWorker::Write() {
    // With a second device attached meanwhile, the one this database was
    // fetched for is written, not whichever was enumerated last.
    if (operations_.IsAttached(cyclePath_)) {
        device_.DevicePath.Set(cyclePath_);
    } else if (!operations_.FindDevice()) {
        ShowStatus(CycleStatus::WaitingForReconnect);
        if (!WaitForView(ArrivalTimer, CycleTiming::PresencePollMs))
            return UpdateState::Write;
    }
    cyclePath_ = device_.DevicePath.Get();
    // The database belongs to the Orvo it was downloaded for. Whatever is
    // attached now is identified again, even if no unplug was seen.
    signals_.ShowProgress = 0;
    const bool accepted = Identify();
    signals_.ShowProgress = 1;
    if (Stopping())
        return UpdateState::Write;
    if (!accepted || device_.DeviceSerial.Get() != cycleSerial_)
        return StartFreshCycle();

    ShowStatus(CycleStatus::Writing);
    writing_ = true;
    const DatabaseWriteResult written = operations_.UpgradeDevice(DatabaseBase());
    alreadyCurrent_ = written == DatabaseWriteResult::AlreadyOnDevice;
    // The date stamp says the database is complete: only after a finished write.
    const bool stamped = written != DatabaseWriteResult::Failed && !Stopping() && operations_.WriteDateStamp();
    writing_ = false;
    if (Stopping())
        return UpdateState::Write;
    if (stamped) {
        holdingsAfter_ = operations_.ReadHoldings();
        return UpdateState::Succeeded;
    }
    // The failed operation has already shown its error on the progress bar.
    failedCause_ = written == DatabaseWriteResult::Failed ? kWriteFailedCause : kDateStampFailedCause;
    return UpdateState::Failed;
}

PrepareOutcome UpdateWorker::PrepareRequested(const std::string& base) {
    // A backup goes back only into the Orvo it was read from.
    if (cycleRequest_.source == CycleSource::Restore) {
        const std::string serial = operations_.BackupSerial(cycleRequest_.backupId);
        if (serial != cycleSerial_) {
            const std::string problem = operations_.RequestProblem();
            failedCause_ = !serial.empty() ? kOtherSerialCause
                           : problem.empty() ? kBackupGoneCause
                                             : problem + "; nothing was written";
            PublishError(serial.empty() ? CycleErrorKind::WorkingFiles : CycleErrorKind::Identity,
                         ErrorCause::RequestUnusable, failedCause_);
            return PrepareOutcome::Refused;
        }
    }
    const PrepareOutcome result = operations_.PrepareRequest(cycleRequest_, base);
    const std::string problem = operations_.RequestProblem();
    if (result == PrepareOutcome::BackupUnavailable) {
        failedCause_ = problem.empty() ? kBackupGoneCause : problem + "; nothing was written";
        PublishError(CycleErrorKind::WorkingFiles, ErrorCause::RequestUnusable, failedCause_);
    } else if (cycleRequest_.source == CycleSource::File && result == PrepareOutcome::TextUnreadable) {
        failedCause_ = problem.empty() ? kFileUnreadableCause + (": " + cycleRequest_.file)
                                       : "the database file " + cycleRequest_.file + " " + problem;
        PublishError(CycleErrorKind::WorkingFiles, ErrorCause::RequestUnusable, failedCause_);
    } else if (cycleRequest_.source == CycleSource::File && result == PrepareOutcome::NoValidRecord) {
        // The user's own file: neither the connection nor the server is to blame.
        failedCause_ = "the file " + cycleRequest_.file + " holds no camera record: it is not a database text";
        PublishError(CycleErrorKind::Conversion, ErrorCause::RequestUnusable, failedCause_, TextId::NotADatabaseFile,
                     {cycleRequest_.file});
    }
    return result;
}

bool UpdateWorker::ConfirmSize(const std::string& base) {
    // A restore writes the very backup the user chose, its size shown.
    if (!holdingsBefore_.hasDatabase || cycleRequest_.source == CycleSource::Restore)
        return true;
    const std::uint32_t records = operations_.PreparedRecords(base);
    if (std::uint64_t{records} * 2 >= holdingsBefore_.records)
        return true;
    const auto lookup = resources_.StringLookup();
    const std::string question = FillValues(lookup, ResourceId::SmallerDatabaseQuestion,
                                            GroupedCount(lookup, records), GroupedCount(lookup, holdingsBefore_.records));
    if (!Stopping() && view_.AskYesNo(question, resources_.String(ResourceId::AppTitle)))
        return true;
    failedCause_ = "the new database holds " + std::to_string(records) + " records, fewer than half of the " +
                   std::to_string(holdingsBefore_.records) + " on the Orvo, and was not written";
    return false;
}

void UpdateWorker::ShowSerialWithHoldings() {
    Publish(CycleEvents::StatusChanged{CycleStatus::PreparingForSerial, device_.DeviceSerial.Get(), holdingsBefore_});
}

// The database was for the Orvo that has gone: its cycle ends here.
UpdateState UpdateWorker::StartFreshCycle() {
    if (cycleOpen_)
        PublishError(CycleErrorKind::Identity, ErrorCause::OtherDevice, kOtherDeviceCause, TextId::OtherDeviceAttached);
    EndCycle(CycleOutcome::Failed);
    operations_.DeleteWorkingFiles();
    return UpdateState::Restart;
}

UpdateState UpdateWorker::Succeeded() {
    lastCycleFailed_ = false;
    ShowStatus(CycleStatus::Complete);
    operations_.DeleteWorkingFiles();
    Publish(CycleEvents::Notice{resources_.String(cycleRequest_.source == CycleSource::Restore
                                                      ? ResourceId::RestoreSuccessfulText
                                                      : ResourceId::UpgradeSuccessfulText)});
    EndCycle(alreadyCurrent_ ? CycleOutcome::AlreadyCurrent : CycleOutcome::Succeeded);
    return UpdateState::WaitForUnplug;
}

// Waits for the device this cycle worked on only: another Orvo plugged in
// meanwhile is found by the next cycle, which begins once this one has gone.
UpdateState UpdateWorker::WaitForUnplug() {
    signals_.UnplugPath.Set(cyclePath_);
    const bool attached = operations_.IsAttached(cyclePath_);
    {
        // Under the request lock: a request either comes before, and the
        // cycle it asks for starts now, or finds the removal timer running
        // and releases the wait itself.
        std::lock_guard lock(requestMutex_);
        signals_.StepEvent.Reset();
        if (Stopping())
            return UpdateState::WaitForUnplug;
        if (!attached || requestArrived_) {
            requestArrived_ = false;
            return UpdateState::Restart;
        }
        waitingOnAttachedOrvo_ = true;
        view_.StartTimer(RemovalTimer, CycleTiming::PresencePollMs);
    }
    signals_.StepEvent.Wait();
    {
        std::lock_guard lock(requestMutex_);
        waitingOnAttachedOrvo_ = false;
        requestArrived_ = false;
    }
    return Stopping() ? UpdateState::WaitForUnplug : UpdateState::Restart;
}

// The status says "Reconnect Orvo", and so it is: the cycle waits for the
// Orvo to go and then begins afresh, as after a success, with the identity
// checked again.
UpdateState UpdateWorker::Fail() {
    lastCycleFailed_ = true;
    ShowStatus(CycleStatus::Failed);
    operations_.DeleteWorkingFiles();
    showFailedUntilArrival_ = true;
    EndCycle(CycleOutcome::Failed, failedCause_);
    failedCause_.clear();
    return UpdateState::WaitForUnplug;
}

// Nothing was written and nothing failed: what the Orvo held before, it holds
// after.
UpdateState UpdateWorker::KeepDatabase() {
    lastCycleFailed_ = false;
    ShowStatus(CycleStatus::Kept);
    operations_.DeleteWorkingFiles();
    holdingsAfter_ = holdingsBefore_;
    EndCycle(CycleOutcome::Kept, failedCause_);
    failedCause_.clear();
    return UpdateState::WaitForUnplug;
}

bool UpdateWorker::Identify() {
    PhaseTimer phase(device_.Events, device_.RunningPhase, CyclePhase::Identify);
    const bool accepted = phase.End(operations_.IdentifyDevice() == IdentifyResult::Accepted);
    if (!Stopping())
        Publish(CycleEvents::DeviceIdentified{device_.DevicePath.Get(), accepted ? device_.DeviceSerial.Get() : "",
                                              accepted, cycleRequest_.source});
    return accepted;
}

void UpdateWorker::Publish(const CycleEvent& event) const { device_.Events.Publish(event); }

void UpdateWorker::PublishError(CycleErrorKind kind, ErrorCause cause, const std::string& text,
                                std::uint16_t textId, std::vector<std::string> args) const {
    Publish(CycleEvents::Error{kind, text, {}, cause, ErrorSeverity::Cycle, textId, std::move(args)});
}

void UpdateWorker::EndCycle(CycleOutcome outcome, const std::string& fallbackCause) {
    if (!cycleOpen_)
        return;
    cycleOpen_ = false;
    CycleEvents::CycleEnded ended;
    ended.outcome = outcome;
    ended.source = cycleRequest_.source;
    ended.serial = cycleSerial_;
    ended.before = holdingsBefore_;
    ended.after = holdingsAfter_;
    if (outcome != CycleOutcome::Succeeded && outcome != CycleOutcome::AlreadyCurrent) {
        const std::string error = record_.LastError();
        const bool fromError = outcome == CycleOutcome::Failed && !error.empty();
        ended.cause = fromError ? error : fallbackCause;
        if (fromError)
            record_.LastErrorCause(ended.causeId, ended.causeArgs);
    }
    ended.bytesDownloaded = lastDownload_.bytes;
    ended.durations = record_.Durations();
    {
        std::lock_guard lock(requestMutex_);
        cycleRequest_ = {};
        requestTaken_ = false;
    }
    Publish(ended);
}

void UpdateWorker::CycleRecord::OnCycleEvent(const CycleEvent& event) {
    std::lock_guard lock(mutex_);
    if (const auto* ended = std::get_if<CycleEvents::PhaseEnded>(&event)) {
        const auto index = static_cast<std::size_t>(ended->phase);
        if (index < durations_.size())
            durations_[index] += ended->duration;
    } else if (const auto* error = std::get_if<CycleEvents::Error>(&event)) {
        lastError_ = error->text;
        lastErrorId_ = error->textId;
        lastErrorArgs_ = error->args;
    }
}

void UpdateWorker::CycleRecord::Reset() {
    std::lock_guard lock(mutex_);
    durations_ = {};
    lastError_.clear();
    lastErrorId_ = 0;
    lastErrorArgs_.clear();
}

PhaseDurations UpdateWorker::CycleRecord::Durations() const {
    std::lock_guard lock(mutex_);
    return durations_;
}

std::string UpdateWorker::CycleRecord::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void UpdateWorker::CycleRecord::LastErrorCause(std::uint16_t& id, std::vector<std::string>& args) const {
    std::lock_guard lock(mutex_);
    id = lastErrorId_;
    args = lastErrorArgs_;
}

// Returns false when a stop ended the wait instead of the timer's tick.
bool UpdateWorker::WaitForView(int timerId, int periodMs) {
    // Cleared before the timer starts, so that a first tick that already finds
    // the condition cannot be lost; checked after, so that a stop whose Set
    // this clears is still seen.
    signals_.StepEvent.Reset();
    if (Stopping())
        return false;
    view_.StartTimer(timerId, periodMs);
    signals_.StepEvent.Wait();
    return !Stopping();
}

void UpdateWorker::ShowStatus(CycleStatus status) { Publish(CycleEvents::StatusChanged{status, {}, {}}); }

void UpdateWorker::PublishWorkingFilesError() {
    PublishError(CycleErrorKind::WorkingFiles, ErrorCause::WorkingFile,
                 resources_.String(ResourceId::WorkingFilesErrorText),
                 static_cast<std::uint16_t>(ResourceId::WorkingFilesErrorText));
}

// Text 113, then a line with what the download failed on, when it failed.
void UpdateWorker::PublishDownloadError(CycleErrorKind kind) {
    std::string text = resources_.String(ResourceId::DownloadErrorText);
    const std::string cause = DownloadFailureLine(resources_, lastDownload_);
    if (!cause.empty())
        text += "\n\n" + cause;
    // The box says it all in the language in force; the history keeps the
    // short cause as a code, or the general text when nothing failed on a line.
    DownloadCause code = DownloadFailureCause(lastDownload_);
    if (code.textId == 0)
        code.textId = ResourceId::DownloadErrorText;
    PublishError(kind, ErrorCause::DownloadUnusable, text, static_cast<std::uint16_t>(code.textId),
                 std::move(code.values));
}

std::string UpdateWorker::DatabaseBase() const { return device_.ProgramFolder + WorkingFile::DatabaseBase; }

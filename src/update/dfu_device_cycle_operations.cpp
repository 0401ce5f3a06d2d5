#include "update/dfu_device_cycle_operations.h"
#include "common/text_ids.h"

#include "common/file_io.h"
#include "common/input_file.h"
#include "common/phase_timer.h"
#include "common/result_texts.h"
#include "common/working_files.h"
#include "database/database_conversion.h"
#include "database/database_holdings.h"
#include "database/dfu_preparation.h"
#include "database/download_request.h"
#include "history/history_store.h"

namespace {
constexpr const char* OrvoProductName = "Orvo";
constexpr const char* kBackupUnreadable =
    "The Orvo's database could not be read to keep a copy of it; nothing was erased.";
// A user's database text larger than this is no database text.
constexpr std::uint64_t MaxDatabaseTextBytes = 256ull * 1024 * 1024;
}  // namespace

DfuDeviceCycleOperations::DfuDeviceCycleOperations(CDfuDevice& device, Hooks hooks)
    : device_(device), hooks_(std::move(hooks)) {}

// The worker may wait for the bus: its own look is as fresh as the bus.
bool DfuDeviceCycleOperations::FindDevice() { return hooks_.findDevice ? hooks_.findDevice() : device_.FindDeviceNow(); }

bool DfuDeviceCycleOperations::IsAttached(const std::string& path) { return device_.IsAttached(path); }

IdentifyResult DfuDeviceCycleOperations::IdentifyDevice() { return device_.IdentifyDevice(OrvoProductName); }

void DfuDeviceCycleOperations::SaveSettings() {
    if (hooks_.saveSettings)
        hooks_.saveSettings(device_);
}

DownloadResult DfuDeviceCycleOperations::DownloadDatabase() { return DownloadDatabaseWithDefaults(device_); }

namespace {

// The device's preparation answers with `base` or a failure text: the one
// place those texts are read.
PrepareOutcome OutcomeOf(const std::string& result, const std::string& base) {
    if (result == base)
        return PrepareOutcome::Ready;
    if (result.empty())
        return PrepareOutcome::NoValidRecord;
    if (result == PrepareResult::DatabaseFileOpenError)
        return PrepareOutcome::TextUnreadable;
    if (result == PrepareResult::BackupUnavailable)
        return PrepareOutcome::BackupUnavailable;
    return PrepareOutcome::WorkingFilesFailed;
}

}  // namespace

PrepareOutcome DfuDeviceCycleOperations::PrepareDatabase(const std::string& base) {
    restoredDateStamp_.clear();
    return OutcomeOf(device_.PrepareDatabase(base), base);
}
DatabaseHoldings DfuDeviceCycleOperations::ReadHoldings() {
    DatabaseHoldings holdings;
    if (!device_.ReadHoldings(holdings))
        return {};
    return holdings;
}

std::string DfuDeviceCycleOperations::BackupSerial(std::int64_t backupId) {
    requestProblem_.clear();
    if (hooks_.history == nullptr)
        return {};
    const auto backup = hooks_.history->LoadBackup(backupId, &requestProblem_);
    return backup ? backup->info.serial : std::string();
}

PrepareOutcome DfuDeviceCycleOperations::PrepareRequest(const CycleRequest& request, const std::string& base) {
    restoredDateStamp_.clear();
    requestProblem_.clear();
    switch (request.source) {
    case CycleSource::File: return OutcomeOf(PrepareFile(request.file, base), base);
    case CycleSource::Restore: return OutcomeOf(PrepareRestore(request.backupId, base), base);
    case CycleSource::Server: break;
    }
    return PrepareDatabase(base);
}

// The user's file is only read: its copy is the working text the conversion
// reads and the cycle deletes.
std::string DfuDeviceCycleOperations::PrepareFile(const std::string& file, const std::string& base) {
    std::vector<std::uint8_t> text;
    const std::string textPath = base + WorkingFile::TextExt;
    RemoveRegularFile(textPath);
    if (const InputFileRead read = ReadInputFile(file, MaxDatabaseTextBytes, text); !read.ok) {
        requestProblem_ = read.reason;
        return PrepareResult::DatabaseFileOpenError;
    }
    if (WriteWholeFile(textPath, text.data(), text.size()) != 0)
        return PrepareResult::BinaryFileOpenError;
    return device_.PrepareDatabase(base);
}

std::string DfuDeviceCycleOperations::PrepareRestore(std::int64_t backupId, const std::string& base) {
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;
    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);
    const auto backup =
        hooks_.history != nullptr ? hooks_.history->LoadBackup(backupId, &requestProblem_) : std::nullopt;
    if (!backup || backup->database.empty())
        return PrepareResult::BackupUnavailable;
    if (WriteWholeFile(binPath, backup->database.data(), backup->database.size()) != 0)
        return PrepareResult::BinaryFileOpenError;
    const std::size_t entriesBefore = device_.ElementEntries.size();
    device_.AddElementFile(binPath, DfuPreparation::DatabaseAddress);
    const bool registered = device_.ElementEntries.size() == entriesBefore + 1;
    const bool built = device_.BuildImage(DfuPreparation::AlternateSetting);
    if (!device_.WriteDfuFile(dfuPath) || !registered || !built) {
        RemoveRegularFile(dfuPath);
        return ConversionResult::DfuFileError;
    }
    restoredDateStamp_.assign(backup->dateStamp.begin(), backup->dateStamp.end());
    return base;
}

std::uint32_t DfuDeviceCycleOperations::PreparedRecords(const std::string& base) {
    std::vector<std::uint8_t> packed;
    int error = 0;
    if (!ReadWholeFile(base + WorkingFile::BinExt, packed, DatabaseRegion::PackedSize(DatabaseRegion::MaxRecords),
                       error))
        return 0;
    return ReadDatabaseHoldings({}, packed).records;
}

// The backup is read only once the compare has found that the device
// differs: nothing is kept when the write would change nothing.
bool DfuDeviceCycleOperations::KeepReplacedDatabase() {
    PhaseTimer phase(device_.Events, device_.RunningPhase, CyclePhase::Backup);
    DatabaseHoldings holdings;
    std::vector<std::uint8_t> dateStamp;
    std::vector<std::uint8_t> database;
    if (!device_.ReadHeldDatabase(holdings, dateStamp, database)) {
        device_.ShowError(kBackupUnreadable, CycleErrorKind::Device, ErrorCause::DeviceStep, TextId::BackupUnreadable);
        return phase.End(false);
    }
    // An erased or half-written device holds nothing worth keeping; a store
    // that cannot keep it has said so and never stands in the way.
    if (holdings.hasDatabase)
        hooks_.history->KeepBackup(device_.DeviceSerial.Get(), dateStamp, database, holdings.records, holdings.date);
    return phase.End(true);
}


// The safe database write; a device that already holds the database only
// needs its date stamp renewed, which the cycle does next.
DatabaseWriteResult DfuDeviceCycleOperations::UpgradeDevice(const std::string& base) {
    if (hooks_.history == nullptr)
        return device_.WriteDatabase(base);
    return device_.WriteDatabase(base, [this] { return KeepReplacedDatabase(); });
}

bool DfuDeviceCycleOperations::WriteDateStamp() {
    return restoredDateStamp_.empty() ? device_.WriteDateStamp() : device_.WriteDateStamp(restoredDateStamp_);
}


void DfuDeviceCycleOperations::DeleteWorkingFiles() { ::DeleteWorkingFiles(device_.ProgramFolder); }

void DfuDeviceCycleOperations::Interrupt() {
    if (hooks_.interrupt)
        hooks_.interrupt();
}

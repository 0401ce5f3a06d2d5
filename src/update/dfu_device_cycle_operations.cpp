#include "update/dfu_device_cycle_operations.h"
#include "common/text_ids.h"

#include "common/file_io.h"
#include "common/input_file.h"
#include "common/phase_timer.h"
#include "common/working_files.h"
#include "database/database_conversion.h"
#include "database/database_holdings.h"
#include "database/dfu_preparation.h"
#include "database/download_request.h"
#include "history/history_store.h"
#include "update/device_database.h"

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
        hooks_.saveSettings();
}

std::int32_t DfuDeviceCycleOperations::DownloadSizeKb() { return hooks_.downloadSizeKb ? hooks_.downloadSizeKb() : 0; }

// The default limits; the program's end stops a download in flight.
DownloadResult DfuDeviceCycleOperations::DownloadDatabase() {
    HttpDownload client;
    client.abort = &device_.ShuttingDown;
    return DownloadDatabaseWith({hooks_.serverHost(), device_.DeviceSerial.Get(), device_.ProgramFolder}, client,
                                device_.Events);
}

namespace {

PrepareOutcome OutcomeOf(ConversionResult result) {
    switch (result) {
    case ConversionResult::Success: return PrepareOutcome::Ready;
    case ConversionResult::NoRecords: return PrepareOutcome::NoValidRecord;
    case ConversionResult::DbFileOpenError: return PrepareOutcome::TextUnreadable;
    case ConversionResult::BinFileOpenError:
    case ConversionResult::DfuFileError: break;
    }
    return PrepareOutcome::WorkingFilesFailed;
}

}  // namespace

PrepareOutcome DfuDeviceCycleOperations::PrepareDatabase(const std::string& base) {
    restoredDateStamp_.clear();
    return Convert(base);
}

// The buffer files go beside the working files.
PrepareOutcome DfuDeviceCycleOperations::Convert(const std::string& base) {
    return OutcomeOf(::PrepareDatabase(base, device_.ProgramFolder, device_.Events).result);
}
DatabaseHoldings DfuDeviceCycleOperations::ReadHoldings() {
    DatabaseHoldings holdings;
    if (!::ReadHoldings(device_, holdings))
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
    case CycleSource::File: return PrepareFile(request.file, base);
    case CycleSource::Restore: return PrepareRestore(request.backupId, base);
    case CycleSource::Server: break;
    }
    return PrepareDatabase(base);
}

// The user's file is only read: its copy is the working text the conversion
// reads and the cycle deletes.
PrepareOutcome DfuDeviceCycleOperations::PrepareFile(const std::string& file, const std::string& base) {
    std::vector<std::uint8_t> text;
    const std::string textPath = base + WorkingFile::TextExt;
    RemoveRegularFile(textPath);
    if (const InputFileRead read = ReadInputFile(file, MaxDatabaseTextBytes, text); !read.ok) {
        requestProblem_ = read.reason;
        return PrepareOutcome::TextUnreadable;
    }
    if (WriteWholeFile(textPath, text.data(), text.size()) != 0)
        return PrepareOutcome::WorkingFilesFailed;
    return Convert(base);
}

PrepareOutcome DfuDeviceCycleOperations::PrepareRestore(std::int64_t backupId, const std::string& base) {
    const std::string binPath = base + WorkingFile::BinExt;
    const std::string dfuPath = base + WorkingFile::DfuExt;
    RemoveRegularFile(binPath);
    RemoveRegularFile(dfuPath);
    const auto backup =
        hooks_.history != nullptr ? hooks_.history->LoadBackup(backupId, &requestProblem_) : std::nullopt;
    if (!backup || backup->database.empty())
        return PrepareOutcome::BackupUnavailable;
    if (WriteWholeFile(binPath, backup->database.data(), backup->database.size()) != 0)
        return PrepareOutcome::WorkingFilesFailed;
    DfuFileBuilder builder(device_.Events);
    builder.AddElementFile(binPath, DfuPreparation::DatabaseAddress);
    const bool registered = builder.ElementEntries.size() == 1;
    const bool built = builder.BuildImage(DfuPreparation::AlternateSetting);
    if (!builder.WriteDfuFile(dfuPath) || !registered || !built) {
        RemoveRegularFile(dfuPath);
        return PrepareOutcome::WorkingFilesFailed;
    }
    restoredDateStamp_.assign(backup->dateStamp.begin(), backup->dateStamp.end());
    return PrepareOutcome::Ready;
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
    if (!ReadHeldDatabase(device_, holdings, dateStamp, database)) {
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
        return ::WriteDatabase(device_, base);
    return ::WriteDatabase(device_, base, [this] { return KeepReplacedDatabase(); });
}

bool DfuDeviceCycleOperations::WriteDateStamp() {
    return restoredDateStamp_.empty() ? ::WriteDateStamp(device_) : ::WriteDateStamp(device_, restoredDateStamp_);
}


void DfuDeviceCycleOperations::DeleteWorkingFiles() { ::DeleteWorkingFiles(device_.ProgramFolder); }

void DfuDeviceCycleOperations::Interrupt() {
    if (hooks_.interrupt)
        hooks_.interrupt();
}

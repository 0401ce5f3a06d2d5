#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/cycle_events.h"

struct sqlite3;

// One update cycle that identified a device, as the history keeps it. Times
// are milliseconds since 1970-01-01 UTC.
struct HistoryRecord {
    std::int64_t id = 0;  // 0 until stored
    std::int64_t startedMs = 0;
    std::int64_t endedMs = 0;  // 0 while the cycle runs, or when it was cut off
    std::string serial;
    CycleSource source = CycleSource::Server;
    std::optional<CycleOutcome> outcome;  // none while the cycle runs
    std::string cause;  // stable English text
    DatabaseHoldings before;
    DatabaseHoldings after;
    std::uint64_t bytesDownloaded = 0;
    PhaseDurations durations{};  // zero: the phase did not run
    // The cause as a string id and its values (0: none stored), rendered in
    // the language in force where it is shown.
    std::uint16_t causeId = 0;
    std::vector<std::string> causeArgs{};
};

// A device's database as it was before it was replaced.
struct BackupInfo {
    std::int64_t id = 0;
    std::string serial;
    std::int64_t keptMs = 0;
    std::string date;  // the date stamp's "dd.mm.yy", empty when it had none
    std::uint32_t records = 0;
};
struct Backup {
    BackupInfo info;
    std::vector<std::uint8_t> dateStamp;  // the date stamp region's bytes as read
    std::vector<std::uint8_t> database;   // the packed database, header first
};

// The updater's history and kept backups: one SQLite file beside the
// settings, shared by the updater and orvo-tool. Every write is one
// transaction. A file that cannot be used (corrupt, locked, written by a
// newer version) is reported once through `report` and from then on the
// store does nothing: it never stands in the way of an update. Safe to call
// from any thread.
class HistoryStore {
public:
    // ReadOnly reads an existing file as it stands: nothing is created,
    // migrated or marked, so a file of an earlier version, one that another
    // process is writing, or a file that is no history at all is not changed.
    enum class Open { CreateIfMissing, ExistingOnly, ReadOnly };
    // Called at most once, on the thread that met the failure, with a text
    // that names the file and the reason. It must not call the store.
    using Report = std::function<void(const std::string& text)>;

    static constexpr int SchemaVersion = 2;
    static constexpr std::size_t BackupsPerSerial = 3;
    // All backups together stay below this many bytes: the oldest backups of
    // the serials not seen for longest go first, but never the only backup
    // of a serial seen within ProtectedDays.
    static constexpr std::uint64_t BackupBytesBound = 300ull * 1000 * 1000;
    static constexpr int ProtectedDays = 30;
    static constexpr const char* InterruptedCause = "the program ended before the cycle did";

    // Opening marks the cycles left running by a process that no longer
    // runs (a crash, a kill, a power cut) as interrupted. ExistingOnly does
    // not create a missing file and says nothing about it.
    HistoryStore(std::string path, Report report, Open open = Open::CreateIfMissing);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool Usable() const;
    const std::string& Path() const { return path_; }

    // Inserts the record (id 0) or replaces the stored one; returns its id,
    // 0 when nothing was stored. A record without an outcome is running and
    // belongs to this process.
    std::int64_t Save(const HistoryRecord& record);
    // Newest first; every serial when `serial` is empty.
    std::vector<HistoryRecord> Records(const std::string& serial = {}) const;

    // Keeps a database about to be replaced, and only the newest
    // BackupsPerSerial of that serial, within BackupBytesBound in all.
    // Refuses (returns 0) bytes that are not a whole packed database of
    // `records` records. A copy identical to the serial's newest backup is
    // not kept again: its id is returned.
    std::int64_t KeepBackup(const std::string& serial, const std::vector<std::uint8_t>& dateStamp,
                            const std::vector<std::uint8_t>& database, std::uint32_t records,
                            const std::string& date);
    // Newest first.
    std::vector<BackupInfo> ListBackups(const std::string& serial) const;
    // None when the backup is gone or damaged: its bytes no longer match the
    // digest kept with them, or its date stamp does not read as the date it
    // was kept with. `problem` then says which.
    std::optional<Backup> LoadBackup(std::int64_t id, std::string* problem = nullptr) const;

    // The bound on all backups together; tests make it small.
    void SetBackupBytesBound(std::uint64_t bytes) { backupBytesBound_ = bytes; }

private:
    void OpenFile(Open open);
    void RepairJournalModes() const;
    void CheckReadableHistory();
    void Migrate();
    void MarkAbandonedCycles();
    void TrimBackups();
    // Reports the first failure and closes the file.
    void Fail(const std::string& what) const;

    std::string path_;
    mutable Report report_;
    mutable std::mutex mutex_;
    mutable sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    std::int64_t schemaVersion_ = SchemaVersion;
    std::uint64_t backupBytesBound_ = BackupBytesBound;
};

// The current time in the history's unit.
std::int64_t HistoryNowMs();

#include "history/history_store.h"

#include <cerrno>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <sqlite3.h>

#include "common/file_io.h"
#include "common/process_liveness.h"
#include "common/utf8_path.h"
#include "database/database_holdings.h"
#include "database/md5.h"

namespace {

// A failed SQLite call, carried to the public method that reports it.
struct SqlError {
    std::string text;
};

// What SQLite says is what the user and support need; the statement is ours.
[[noreturn]] void Throw(sqlite3* db, const std::string& /*statement*/) {
    throw SqlError{db != nullptr ? sqlite3_errmsg(db) : "out of memory"};
}

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Throw(db, sql);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK)
            Throw(db, sql);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value) {
        return Check(sqlite3_bind_int64(statement_, index, value));
    }
    Statement& Bind(int index, const std::string& text) {
        return Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                                       SQLITE_TRANSIENT));
    }
    Statement& Bind(int index, const std::vector<std::uint8_t>& bytes) {
        // An empty blob is still a blob, not NULL.
        static const std::uint8_t none = 0;
        return Check(sqlite3_bind_blob(statement_, index, bytes.empty() ? &none : bytes.data(),
                                       static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
    }
    Statement& BindNull(int index) { return Check(sqlite3_bind_null(statement_, index)); }

    // True while there is a row to read.
    bool Step() {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            Throw(db_, sqlite3_sql(statement_));
        return false;
    }
    void Run() { (void)Step(); }

    bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                               : std::string();
    }
    std::vector<std::uint8_t> Blob(int column) const {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
        return bytes != nullptr ? std::vector<std::uint8_t>(bytes, bytes + sqlite3_column_bytes(statement_, column))
                                : std::vector<std::uint8_t>();
    }

private:
    Statement& Check(int result) {
        if (result != SQLITE_OK)
            Throw(db_, "bind");
        return *this;
    }
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { Exec(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!committed_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
        Exec(db_, "COMMIT");
        committed_ = true;
    }

private:
    sqlite3* db_;
    bool committed_ = false;
};

// Each step takes the schema from one version to the next. A new version
// appends a step; a step is never changed once released.
constexpr const char* MigrationSteps[] = {
    // 0 -> 1
    "CREATE TABLE cycles ("
    "  id INTEGER PRIMARY KEY,"
    "  started_ms INTEGER NOT NULL,"
    "  ended_ms INTEGER,"
    "  serial TEXT NOT NULL,"
    "  source TEXT NOT NULL,"
    "  outcome TEXT,"  // NULL while the cycle runs
    "  cause TEXT NOT NULL DEFAULT '',"
    "  before_known INTEGER NOT NULL DEFAULT 0,"
    "  before_records INTEGER,"  // NULL: no database
    "  before_date TEXT NOT NULL DEFAULT '',"
    "  after_known INTEGER NOT NULL DEFAULT 0,"
    "  after_records INTEGER,"
    "  after_date TEXT NOT NULL DEFAULT '',"
    "  bytes_downloaded INTEGER NOT NULL DEFAULT 0,"
    "  owner_pid INTEGER,"  // the process of a running cycle
    "  owner_boot TEXT"
    ");"
    "CREATE INDEX cycles_by_serial ON cycles (serial, started_ms);"
    "CREATE TABLE cycle_phases ("
    "  cycle INTEGER NOT NULL REFERENCES cycles (id) ON DELETE CASCADE,"
    "  phase TEXT NOT NULL,"
    "  milliseconds INTEGER NOT NULL,"
    "  PRIMARY KEY (cycle, phase)"
    ");"
    "CREATE TABLE backups ("
    "  id INTEGER PRIMARY KEY,"
    "  serial TEXT NOT NULL,"
    "  kept_ms INTEGER NOT NULL,"
    "  date TEXT NOT NULL,"
    "  records INTEGER NOT NULL,"
    "  date_stamp BLOB NOT NULL,"
    "  database BLOB NOT NULL"
    ");"
    "CREATE INDEX backups_by_serial ON backups (serial, id);",
    // 1 -> 2: the cause as a string id with its values; a digest with each
    // backup, filled in for the backups already kept (FillBackupDigests).
    "ALTER TABLE cycles ADD COLUMN cause_id INTEGER NOT NULL DEFAULT 0;"
    "CREATE TABLE cycle_cause_args ("
    "  cycle INTEGER NOT NULL REFERENCES cycles (id) ON DELETE CASCADE,"
    "  position INTEGER NOT NULL,"
    "  value TEXT NOT NULL,"
    "  PRIMARY KEY (cycle, position)"
    ");"
    "ALTER TABLE backups ADD COLUMN digest TEXT;",
};
static_assert(std::size(MigrationSteps) == HistoryStore::SchemaVersion);

// A lock held by another process is waited for this long, once; then the
// history is given up for this run rather than holding the cycle back.
constexpr int BusyTimeoutMs = 1000;

// Whether the process that started a running cycle may still be at it.
bool OwnerRuns(std::int64_t pid, const std::string& boot) {
    return pid > 0 && boot == CurrentBootId() && ProcessExists(pid);
}

template <typename Enum, std::size_t Count>
std::optional<Enum> FromName(const std::string& name, const char* (*nameOf)(Enum)) {
    for (std::size_t i = 0; i < Count; ++i)
        if (name == nameOf(static_cast<Enum>(i)))
            return static_cast<Enum>(i);
    return std::nullopt;
}

void BindHoldings(Statement& statement, int first, const DatabaseHoldings& holdings) {
    statement.Bind(first, std::int64_t{holdings.known});
    if (holdings.known && holdings.hasDatabase)
        statement.Bind(first + 1, std::int64_t{holdings.records});
    else
        statement.BindNull(first + 1);
    statement.Bind(first + 2, holdings.known ? holdings.date : std::string());
}

DatabaseHoldings ReadHoldings(const Statement& row, int first) {
    DatabaseHoldings holdings;
    holdings.known = row.Int(first) != 0;
    holdings.hasDatabase = holdings.known && !row.IsNull(first + 1);
    holdings.records = holdings.hasDatabase ? static_cast<std::uint32_t>(row.Int(first + 1)) : 0;
    holdings.date = row.Text(first + 2);
    return holdings;
}

// The digest kept with a backup finds what went wrong with its bytes at
// rest (a flipped bit, a torn page, a careless edit) before they go back
// into an Orvo. MD5 is enough for that and already ours; it is no guard
// against someone who can rewrite the history, who could rewrite the digest.
std::string BackupDigest(const std::vector<std::uint8_t>& dateStamp, const std::vector<std::uint8_t>& database) {
    Md5 md5;
    md5.Update(dateStamp.data(), dateStamp.size());
    md5.Update(database.data(), database.size());
    return ToUpperHex(md5.Final());
}

void FillBackupDigests(sqlite3* db) {
    std::vector<std::pair<std::int64_t, std::string>> digests;
    Statement rows(db, "SELECT id, date_stamp, database FROM backups WHERE digest IS NULL");
    while (rows.Step())
        digests.emplace_back(rows.Int(0), BackupDigest(rows.Blob(1), rows.Blob(2)));
    for (const auto& [id, digest] : digests)
        Statement(db, "UPDATE backups SET digest = ? WHERE id = ?").Bind(1, digest).Bind(2, id).Run();
}

bool TableExists(sqlite3* db, const char* name) {
    Statement query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
    query.Bind(1, std::string(name));
    return query.Step();
}

bool IsWholeDatabase(const std::vector<std::uint8_t>& database, std::uint32_t records) {
    const DatabaseHoldings holdings = ReadDatabaseHoldings({}, database);
    return holdings.hasDatabase && holdings.records == records &&
           database.size() == DatabaseRegion::PackedSize(records);
}

}  // namespace

std::int64_t HistoryNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HistoryStore::HistoryStore(std::string path, Report report, Open open)
    : path_(std::move(path)), report_(std::move(report)), readOnly_(open == Open::ReadOnly) {
    std::lock_guard lock(mutex_);
    try {
        OpenFile(open);
        if (db_ == nullptr)
            return;
        if (readOnly_) {
            CheckReadableHistory();
            return;
        }
        Migrate();
        MarkAbandonedCycles();
    } catch (const SqlError& error) {
        Fail(error.text);
    }
}

HistoryStore::~HistoryStore() {
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
}

bool HistoryStore::Usable() const {
    std::lock_guard lock(mutex_);
    return db_ != nullptr;
}

void HistoryStore::RepairJournalModes() const {
    if (const int error = CheckUserMayWrite(path_); error != 0) {
        if (error == EACCES || error == EROFS || error == EPERM)
            throw SqlError{std::string("the file is read-only for this user: ") + std::strerror(error)};
        return;  // SQLite says what else is wrong
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string journal = path_ + suffix;
        // SQLite gives a journal the history file's mode: one left by a run
        // while the history was read-only keeps it unusable.
        if (!MakeOwnFileWritable(journal))
            throw SqlError{"its journal file " + journal +
                           " is read-only for this user or not a regular file; remove it while no updater runs"};
    }
}

void HistoryStore::OpenFile(Open open) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(PathFromUtf8(path_), error))) {
        if (open != Open::CreateIfMissing)
            return;
        // The history names the user's devices: theirs alone to read. SQLite
        // gives its journal files the same mode.
        CreatePrivateFile(path_);
    }
    if (!readOnly_)
        RepairJournalModes();
    // Never through a link someone else planted.
    const int flags = (readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX |
                      SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        Throw(db_, "open");
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
}

// A reader takes the file as it is: an earlier schema is read as far as it
// goes, anything else is refused without a change.
void HistoryStore::CheckReadableHistory() {
    Statement query(db_, "PRAGMA user_version");
    schemaVersion_ = query.Step() ? query.Int(0) : 0;
    if (schemaVersion_ > SchemaVersion)
        throw SqlError{"written by a newer version (schema " + std::to_string(schemaVersion_) + ")"};
    if (schemaVersion_ < 1 || !TableExists(db_, "cycles") || !TableExists(db_, "backups"))
        throw SqlError{"not an update history"};
}

void HistoryStore::Migrate() {
    // Another program's database is not made into a history.
    {
        Statement version(db_, "PRAGMA user_version");
        Statement anything(db_, "SELECT 1 FROM sqlite_master");
        if (version.Step() && version.Int(0) == 0 && anything.Step())
            throw SqlError{"not an update history"};
    }
    // A file system without shared memory cannot give WAL; the default
    // journal is as safe, only slower.
    Exec(db_, "PRAGMA journal_mode = WAL");
    Exec(db_, "PRAGMA foreign_keys = ON");
    Transaction transaction(db_);
    Statement query(db_, "PRAGMA user_version");
    const std::int64_t version = query.Step() ? query.Int(0) : 0;
    if (version > SchemaVersion)
        throw SqlError{"written by a newer version (schema " + std::to_string(version) + ")"};
    if (version == SchemaVersion)
        return;
    for (std::int64_t step = version; step < SchemaVersion; ++step)
        Exec(db_, MigrationSteps[step]);
    FillBackupDigests(db_);
    Exec(db_, ("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
    transaction.Commit();
}

void HistoryStore::MarkAbandonedCycles() {
    Transaction transaction(db_);
    std::vector<std::int64_t> abandoned;
    Statement running(db_, "SELECT id, owner_pid, owner_boot FROM cycles WHERE outcome IS NULL");
    while (running.Step())
        if (!OwnerRuns(running.Int(1), running.Text(2)))
            abandoned.push_back(running.Int(0));
    for (const std::int64_t id : abandoned)
        Statement(db_, "UPDATE cycles SET outcome = ?, cause = ?, owner_pid = NULL, owner_boot = NULL WHERE id = ?")
            .Bind(1, std::string(OutcomeName(CycleOutcome::Interrupted)))
            .Bind(2, std::string(InterruptedCause))
            .Bind(3, id)
            .Run();
    transaction.Commit();
}

void HistoryStore::Fail(const std::string& what) const {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    if (report_) {
        const Report report = std::move(report_);
        report_ = nullptr;
        report("The update history " + path_ + " cannot be used (" + what + "); it is left as it is.");
    }
}

std::int64_t HistoryStore::Save(const HistoryRecord& record) {
    std::lock_guard lock(mutex_);
    if (db_ == nullptr || readOnly_)
        return 0;
    try {
        Transaction transaction(db_);
        const bool running = !record.outcome.has_value();
        Statement row(db_, record.id == 0
                               ? "INSERT INTO cycles (started_ms, ended_ms, serial, source, outcome, cause,"
                                 " before_known, before_records, before_date, after_known, after_records, after_date,"
                                 " bytes_downloaded, owner_pid, owner_boot)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)"
                               : "UPDATE cycles SET started_ms = ?1, ended_ms = ?2, serial = ?3, source = ?4,"
                                 " outcome = ?5, cause = ?6, before_known = ?7, before_records = ?8,"
                                 " before_date = ?9, after_known = ?10, after_records = ?11, after_date = ?12,"
                                 " bytes_downloaded = ?13, owner_pid = ?14, owner_boot = ?15 WHERE id = ?16");
        row.Bind(1, record.startedMs);
        record.endedMs != 0 ? row.Bind(2, record.endedMs) : row.BindNull(2);
        row.Bind(3, record.serial).Bind(4, std::string(SourceName(record.source)));
        running ? row.BindNull(5) : row.Bind(5, std::string(OutcomeName(*record.outcome)));
        row.Bind(6, record.cause);
        BindHoldings(row, 7, record.before);
        BindHoldings(row, 10, record.after);
        row.Bind(13, static_cast<std::int64_t>(record.bytesDownloaded));
        if (running)
            row.Bind(14, CurrentProcessId()).Bind(15, CurrentBootId());
        else
            row.BindNull(14).BindNull(15);
        if (record.id != 0)
            row.Bind(16, record.id);
        row.Run();
        const std::int64_t id = record.id != 0 ? record.id : sqlite3_last_insert_rowid(db_);
        if (record.id != 0 && sqlite3_changes(db_) == 0)
            return 0;  // no such record (any more)

        Statement(db_, "DELETE FROM cycle_phases WHERE cycle = ?").Bind(1, id).Run();
        for (std::size_t i = 0; i < CyclePhaseCount; ++i) {
            if (record.durations[i].count() == 0)
                continue;
            Statement(db_, "INSERT INTO cycle_phases (cycle, phase, milliseconds) VALUES (?, ?, ?)")
                .Bind(1, id)
                .Bind(2, std::string(PhaseName(static_cast<CyclePhase>(i))))
                .Bind(3, static_cast<std::int64_t>(record.durations[i].count()))
                .Run();
        }
        Statement(db_, "UPDATE cycles SET cause_id = ? WHERE id = ?")
            .Bind(1, std::int64_t{record.causeId})
            .Bind(2, id)
            .Run();
        Statement(db_, "DELETE FROM cycle_cause_args WHERE cycle = ?").Bind(1, id).Run();
        for (std::size_t i = 0; i < record.causeArgs.size(); ++i)
            Statement(db_, "INSERT INTO cycle_cause_args (cycle, position, value) VALUES (?, ?, ?)")
                .Bind(1, id)
                .Bind(2, static_cast<std::int64_t>(i))
                .Bind(3, record.causeArgs[i])
                .Run();
        transaction.Commit();
        return id;
    } catch (const SqlError& error) {
        Fail(error.text);
        return 0;
    }
}

std::vector<HistoryRecord> HistoryStore::Records(const std::string& serial) const {
    std::lock_guard lock(mutex_);
    std::vector<HistoryRecord> records;
    if (db_ == nullptr)
        return records;
    try {
        std::map<std::int64_t, PhaseDurations> phases;
        Statement phaseRows(db_, "SELECT p.cycle, p.phase, p.milliseconds FROM cycle_phases p"
                                 " JOIN cycles c ON c.id = p.cycle WHERE ?1 = '' OR c.serial = ?1");
        phaseRows.Bind(1, serial);
        while (phaseRows.Step()) {
            if (const auto phase = FromName<CyclePhase, CyclePhaseCount>(phaseRows.Text(1), &PhaseName))
                phases[phaseRows.Int(0)][static_cast<std::size_t>(*phase)] =
                    std::chrono::milliseconds(phaseRows.Int(2));
        }
        // Schema 1 kept no cause ids; a reader takes it as it is.
        std::map<std::int64_t, std::vector<std::string>> causeArgs;
        if (schemaVersion_ >= 2) {
            Statement argRows(db_, "SELECT a.cycle, a.value FROM cycle_cause_args a JOIN cycles c ON c.id = a.cycle"
                                   " WHERE ?1 = '' OR c.serial = ?1 ORDER BY a.cycle, a.position");
            argRows.Bind(1, serial);
            while (argRows.Step())
                causeArgs[argRows.Int(0)].push_back(argRows.Text(1));
        }
        Statement rows(db_, schemaVersion_ >= 2
                                ? "SELECT id, started_ms, ended_ms, serial, source, outcome, cause,"
                                  " before_known, before_records, before_date, after_known, after_records, after_date,"
                                  " bytes_downloaded, owner_pid, owner_boot, cause_id FROM cycles"
                                  " WHERE ?1 = '' OR serial = ?1 ORDER BY started_ms DESC, id DESC"
                                : "SELECT id, started_ms, ended_ms, serial, source, outcome, cause,"
                                  " before_known, before_records, before_date, after_known, after_records, after_date,"
                                  " bytes_downloaded, owner_pid, owner_boot, 0 FROM cycles"
                                  " WHERE ?1 = '' OR serial = ?1 ORDER BY started_ms DESC, id DESC");
        rows.Bind(1, serial);
        while (rows.Step()) {
            HistoryRecord& record = records.emplace_back();
            record.id = rows.Int(0);
            record.startedMs = rows.Int(1);
            record.endedMs = rows.IsNull(2) ? 0 : rows.Int(2);
            record.serial = rows.Text(3);
            record.source = FromName<CycleSource, 3>(rows.Text(4), &SourceName).value_or(CycleSource::Server);
            if (!rows.IsNull(5))
                record.outcome = FromName<CycleOutcome, 5>(rows.Text(5), &OutcomeName).value_or(CycleOutcome::Failed);
            record.cause = rows.Text(6);
            record.before = ReadHoldings(rows, 7);
            record.after = ReadHoldings(rows, 10);
            record.bytesDownloaded = static_cast<std::uint64_t>(rows.Int(13));
            if (const auto found = phases.find(record.id); found != phases.end())
                record.durations = found->second;
            record.causeId = static_cast<std::uint16_t>(rows.Int(16));
            if (const auto found = causeArgs.find(record.id); found != causeArgs.end())
                record.causeArgs = found->second;
            // A reader marks nothing, but tells a cut-off cycle as it is.
            if (readOnly_ && !record.outcome && !OwnerRuns(rows.Int(14), rows.Text(15))) {
                record.outcome = CycleOutcome::Interrupted;
                record.cause = InterruptedCause;
            }
        }
    } catch (const SqlError& error) {
        Fail(error.text);
        records.clear();
    }
    return records;
}

std::int64_t HistoryStore::KeepBackup(const std::string& serial, const std::vector<std::uint8_t>& dateStamp,
                                      const std::vector<std::uint8_t>& database, std::uint32_t records,
                                      const std::string& date) {
    if (!IsWholeDatabase(database, records))
        return 0;
    const std::string digest = BackupDigest(dateStamp, database);
    std::lock_guard lock(mutex_);
    if (db_ == nullptr || readOnly_)
        return 0;
    try {
        Transaction transaction(db_);
        // Retries of an interrupted write read the same database again: one
        // copy of it is enough, and the older, different ones stay.
        Statement newest(db_, "SELECT id, digest, date_stamp, database FROM backups WHERE serial = ?"
                              " ORDER BY id DESC LIMIT 1");
        newest.Bind(1, serial);
        if (newest.Step() && newest.Text(1) == digest && newest.Blob(2) == dateStamp && newest.Blob(3) == database)
            return newest.Int(0);
        Statement(db_, "INSERT INTO backups (serial, kept_ms, date, records, date_stamp, database, digest)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)")
            .Bind(1, serial)
            .Bind(2, HistoryNowMs())
            .Bind(3, date)
            .Bind(4, std::int64_t{records})
            .Bind(5, dateStamp)
            .Bind(6, database)
            .Bind(7, digest)
            .Run();
        const std::int64_t id = sqlite3_last_insert_rowid(db_);
        Statement(db_, "DELETE FROM backups WHERE serial = ?1 AND id NOT IN"
                       " (SELECT id FROM backups WHERE serial = ?1 ORDER BY id DESC LIMIT ?2)")
            .Bind(1, serial)
            .Bind(2, static_cast<std::int64_t>(BackupsPerSerial))
            .Run();
        TrimBackups();
        transaction.Commit();
        return id;
    } catch (const SqlError& error) {
        Fail(error.text);
        return 0;
    }
}

// Keeps all backups within the bound. A serial is seen when a cycle starts
// with it or a backup of it is kept; the serials not seen for longest lose
// their oldest backups first. The only backup of a serial seen within
// ProtectedDays stays even beyond the bound: it may be needed this month.
void HistoryStore::TrimBackups() {
    struct Candidate {
        std::int64_t id;
        std::uint64_t bytes;
        std::string serial;
        std::int64_t seenMs;
    };
    std::vector<Candidate> candidates;
    std::map<std::string, std::size_t> perSerial;
    std::uint64_t total = 0;
    Statement rows(db_, "SELECT b.id, LENGTH(b.database) + LENGTH(b.date_stamp), b.serial, s.seen FROM backups b"
                        " JOIN (SELECT serial, MAX(seen) AS seen FROM"
                        "   (SELECT serial, started_ms AS seen FROM cycles UNION ALL"
                        "    SELECT serial, kept_ms FROM backups) GROUP BY serial) s ON s.serial = b.serial"
                        " ORDER BY s.seen, b.serial, b.id");
    while (rows.Step()) {
        candidates.push_back({rows.Int(0), static_cast<std::uint64_t>(rows.Int(1)), rows.Text(2), rows.Int(3)});
        total += candidates.back().bytes;
        ++perSerial[candidates.back().serial];
    }
    const std::int64_t protectedSince = HistoryNowMs() - std::int64_t{ProtectedDays} * 24 * 3600 * 1000;
    for (const Candidate& candidate : candidates) {
        if (total <= backupBytesBound_)
            break;
        std::size_t& left = perSerial[candidate.serial];
        if (left == 1 && candidate.seenMs >= protectedSince)
            continue;
        Statement(db_, "DELETE FROM backups WHERE id = ?").Bind(1, candidate.id).Run();
        total -= candidate.bytes;
        --left;
    }
}

std::vector<BackupInfo> HistoryStore::ListBackups(const std::string& serial) const {
    std::lock_guard lock(mutex_);
    std::vector<BackupInfo> backups;
    if (db_ == nullptr)
        return backups;
    try {
        Statement rows(db_, "SELECT id, serial, kept_ms, date, records FROM backups WHERE serial = ?"
                            " ORDER BY id DESC");
        rows.Bind(1, serial);
        while (rows.Step())
            backups.push_back({rows.Int(0), rows.Text(1), rows.Int(2), rows.Text(3),
                               static_cast<std::uint32_t>(rows.Int(4))});
    } catch (const SqlError& error) {
        Fail(error.text);
        backups.clear();
    }
    return backups;
}

std::optional<Backup> HistoryStore::LoadBackup(std::int64_t id, std::string* problem) const {
    std::lock_guard lock(mutex_);
    if (db_ == nullptr)
        return std::nullopt;
    const auto refuse = [problem](const char* why) -> std::optional<Backup> {
        if (problem != nullptr)
            *problem = why;
        return std::nullopt;
    };
    try {
        Statement row(db_, schemaVersion_ >= 2 ? "SELECT id, serial, kept_ms, date, records, date_stamp, database,"
                                                 " digest FROM backups WHERE id = ?"
                                               : "SELECT id, serial, kept_ms, date, records, date_stamp, database,"
                                                 " NULL FROM backups WHERE id = ?");
        row.Bind(1, id);
        if (!row.Step())
            return refuse("the backup is no longer kept");
        Backup backup{{row.Int(0), row.Text(1), row.Int(2), row.Text(3), static_cast<std::uint32_t>(row.Int(4))},
                      row.Blob(5),
                      row.Blob(6)};
        // Never hand out for writing what is not the database that was kept:
        // everything is checked here, before the Orvo's database is erased.
        if (row.IsNull(7) || row.Text(7) != BackupDigest(backup.dateStamp, backup.database))
            return refuse("the backup is damaged: its bytes no longer match their digest");
        if (!IsWholeDatabase(backup.database, backup.info.records))
            return refuse("the backup is damaged: it is not a whole database");
        if (backup.dateStamp.size() != DatabaseRegion::DateStampSize ||
            ReadDatabaseHoldings(backup.dateStamp, backup.database).date != backup.info.date)
            return refuse("the backup is damaged: its date stamp is not the date it was kept with");
        return backup;
    } catch (const SqlError& error) {
        Fail(error.text);
        return std::nullopt;
    }
}

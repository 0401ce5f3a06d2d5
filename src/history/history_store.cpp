#include "history/history_store.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <sqlite3.h>

#include "common/file_io.h"
#include "common/process_liveness.h"
#include "database/database_holdings.h"

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
    : path_(std::move(path)), report_(std::move(report)) {
    std::lock_guard lock(mutex_);
    try {
        OpenFile(open);
        if (db_ == nullptr)
            return;
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

void HistoryStore::OpenFile(Open open) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path_, error))) {
        if (open == Open::ExistingOnly)
            return;
        // The history names the user's devices: theirs alone to read. SQLite
        // gives its journal files the same mode.
        CreatePrivateFile(path_);
    }
    // Never through a link someone else planted.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK)
        Throw(db_, "open");
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // A file system without shared memory cannot give WAL; the default
    // journal is as safe, only slower.
    Exec(db_, "PRAGMA journal_mode = WAL");
    Exec(db_, "PRAGMA foreign_keys = ON");
}

void HistoryStore::Migrate() {
    Transaction transaction(db_);
    Statement query(db_, "PRAGMA user_version");
    const std::int64_t version = query.Step() ? query.Int(0) : 0;
    if (version > SchemaVersion)
        throw SqlError{"written by a newer version (schema " + std::to_string(version) + ")"};
    if (version == SchemaVersion)
        return;
    for (std::int64_t step = version; step < SchemaVersion; ++step)
        Exec(db_, MigrationSteps[step]);
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
    if (db_ == nullptr)
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
        Statement rows(db_, "SELECT id, started_ms, ended_ms, serial, source, outcome, cause,"
                            " before_known, before_records, before_date, after_known, after_records, after_date,"
                            " bytes_downloaded FROM cycles WHERE ?1 = '' OR serial = ?1"
                            " ORDER BY started_ms DESC, id DESC");
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
    std::lock_guard lock(mutex_);
    if (db_ == nullptr)
        return 0;
    try {
        Transaction transaction(db_);
        Statement(db_, "INSERT INTO backups (serial, kept_ms, date, records, date_stamp, database)"
                       " VALUES (?, ?, ?, ?, ?, ?)")
            .Bind(1, serial)
            .Bind(2, HistoryNowMs())
            .Bind(3, date)
            .Bind(4, std::int64_t{records})
            .Bind(5, dateStamp)
            .Bind(6, database)
            .Run();
        const std::int64_t id = sqlite3_last_insert_rowid(db_);
        Statement(db_, "DELETE FROM backups WHERE serial = ?1 AND id NOT IN"
                       " (SELECT id FROM backups WHERE serial = ?1 ORDER BY id DESC LIMIT ?2)")
            .Bind(1, serial)
            .Bind(2, static_cast<std::int64_t>(BackupsPerSerial))
            .Run();
        transaction.Commit();
        return id;
    } catch (const SqlError& error) {
        Fail(error.text);
        return 0;
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

std::optional<Backup> HistoryStore::LoadBackup(std::int64_t id) const {
    std::lock_guard lock(mutex_);
    if (db_ == nullptr)
        return std::nullopt;
    try {
        Statement row(db_, "SELECT id, serial, kept_ms, date, records, date_stamp, database FROM backups WHERE id = ?");
        row.Bind(1, id);
        if (!row.Step())
            return std::nullopt;
        Backup backup{{row.Int(0), row.Text(1), row.Int(2), row.Text(3), static_cast<std::uint32_t>(row.Int(4))},
                      row.Blob(5),
                      row.Blob(6)};
        // Never hand out for writing what is not the database that was kept.
        if (!IsWholeDatabase(backup.database, backup.info.records))
            return std::nullopt;
        return backup;
    } catch (const SqlError& error) {
        Fail(error.text);
        return std::nullopt;
    }
}

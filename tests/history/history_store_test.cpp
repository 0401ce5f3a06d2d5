#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "history/history_recorder.h"
#include "history/history_store.h"
#include "support/scratch_files.h"

namespace {

using namespace std::chrono_literals;

struct Reports {
    std::vector<std::string> texts;
    HistoryStore::Report Sink() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

DatabaseHoldings Holding(const std::string& date, std::uint32_t records) {
    return DatabaseHoldings{true, records != 0, date, records};
}

std::vector<std::uint8_t> PackedDatabase(std::uint32_t records, std::uint8_t fill) {
    std::vector<std::uint8_t> bytes = {0, 0, static_cast<std::uint8_t>(records >> 8),
                                       static_cast<std::uint8_t>(records), 0x01};
    bytes.resize(5 + 14 * records, fill);
    return bytes;
}

void RunSql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(HistoryStore, KeepsRecordsAcrossOpeningsNewestFirst) {
    ScratchFolder folder("history_round_trip");
    const std::string path = folder.File("history.sqlite");
    Reports reports;
    HistoryRecord failed;
    failed.startedMs = 1'000'000;
    failed.endedMs = 1'005'000;
    failed.serial = "A123456";
    failed.source = CycleSource::File;
    failed.outcome = CycleOutcome::Failed;
    failed.cause = "Verify error";
    failed.before = Holding("01.12.26", 18532);
    failed.after = Holding("", 0);
    failed.bytesDownloaded = 260'000;
    failed.durations[static_cast<std::size_t>(CyclePhase::Download)] = 300ms;
    failed.durations[static_cast<std::size_t>(CyclePhase::Verify)] = 1200ms;
    failed.causeId = 171;
    failed.causeArgs = {"2 048", "", "a\x1F|b"};
    HistoryRecord other;
    other.startedMs = 2'000'000;
    other.serial = "B000001";
    other.outcome = CycleOutcome::Kept;
    {
        HistoryStore store(path, reports.Sink());
        ASSERT_TRUE(store.Usable());
        failed.id = store.Save(failed);
        other.id = store.Save(other);
        EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
    }
    const unsigned mode = ModeBits(path);  // the history is the user's alone

    HistoryStore reopened(path, reports.Sink(), HistoryStore::Open::ExistingOnly);
    const auto all = reopened.Records();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].serial, "B000001");
    EXPECT_EQ(all[0].outcome, CycleOutcome::Kept);
    EXPECT_FALSE(all[0].before.known);
    EXPECT_EQ(all[0].causeId, 0);
    EXPECT_TRUE(all[0].causeArgs.empty());
    const HistoryRecord& back = all[1];
    EXPECT_EQ(back.id, failed.id);
    EXPECT_EQ(back.startedMs, failed.startedMs);
    EXPECT_EQ(back.endedMs, failed.endedMs);
    EXPECT_EQ(back.source, CycleSource::File);
    EXPECT_EQ(back.outcome, CycleOutcome::Failed);
    EXPECT_EQ(back.cause, failed.cause);
    EXPECT_EQ(back.causeId, failed.causeId);
    EXPECT_EQ(back.causeArgs, failed.causeArgs);
    EXPECT_TRUE(back.before.known && back.before.hasDatabase);
    EXPECT_EQ(back.before.records, 18532u);
    EXPECT_EQ(back.before.date, "01.12.26");
    EXPECT_TRUE(back.after.known && !back.after.hasDatabase);
    EXPECT_EQ(back.bytesDownloaded, 260'000u);
    EXPECT_EQ(back.durations, failed.durations);
    EXPECT_EQ(reopened.Records("A123456").size(), 1u);
    EXPECT_TRUE(reports.texts.empty());
    ORVO_SKIP_WITHOUT(FilePermissions);
    EXPECT_EQ(mode, 0600u);
}

TEST(HistoryStore, CycleOfAProcessThatEndedIsInterruptedAtTheNextOpening) {
    ORVO_SKIP_WITHOUT(ChildByFork);
    ScratchFolder folder("history_interrupted");
    const std::string path = folder.File("history.sqlite");
    HistoryRecord running;
    running.startedMs = HistoryNowMs();
    running.serial = "K111111";
    // Killed in the middle of the cycle: nothing runs after the save.
    ASSERT_EQ(ExitCodeOfForkedChild([&] {
                  HistoryStore store(path, nullptr);
                  store.Save(running);
                  std::_Exit(store.Usable() ? 0 : 1);
                  return 1;
              }),
              0);

    HistoryStore store(path, nullptr);
    running.serial = "L222222";
    store.Save(running);  // this process's own, still running
    const HistoryStore second(path, nullptr);
    const auto records = second.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].serial, "L222222");
    EXPECT_FALSE(records[0].outcome.has_value());
    EXPECT_EQ(records[1].serial, "K111111");
    EXPECT_EQ(records[1].outcome, CycleOutcome::Interrupted);
    EXPECT_EQ(records[1].cause, HistoryStore::InterruptedCause);
}

TEST(HistoryStore, UnusableFileIsReportedOnceAndLeftAsItIs) {
    ScratchFolder folder("history_unusable");
    const std::string junk = folder.File("junk.sqlite");
    WriteBytes(junk, std::vector<std::uint8_t>(4096, 0x5A));
    const std::string newer = folder.File("newer.sqlite");
    { HistoryStore made(newer, nullptr); }
    RunSql(newer, "PRAGMA user_version = 99");
    const std::string locked = folder.File("locked.sqlite");
    { HistoryStore made(locked, nullptr); }
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(locked.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    for (const std::string& path : {junk, newer, locked}) {
        SCOPED_TRACE(path);
        const auto bytesBefore = ReadBytes(path);
        Reports reports;
        HistoryStore store(path, reports.Sink());
        HistoryRecord record;
        record.serial = "A123456";
        EXPECT_EQ(store.Save(record), 0);
        EXPECT_EQ(store.Save(record), 0);
        EXPECT_TRUE(store.Records().empty());
        EXPECT_EQ(store.KeepBackup("A123456", {}, PackedDatabase(1, 0), 1, ""), 0);
        EXPECT_FALSE(store.Usable());
        ASSERT_EQ(reports.texts.size(), 1u);
        EXPECT_NE(reports.texts[0].find(path), std::string::npos);
        EXPECT_EQ(ReadBytes(path), bytesBefore);
    }
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    Reports reports;
    const HistoryStore missing(folder.File("missing.sqlite"), reports.Sink(), HistoryStore::Open::ExistingOnly);
    EXPECT_FALSE(missing.Usable());
    EXPECT_TRUE(reports.texts.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing.sqlite")));
}

TEST(HistoryStore, KeepsTheNewestThreeWholeBackupsOfEachSerial) {
    ScratchFolder folder("history_backups");
    HistoryStore store(folder.File("history.sqlite"), nullptr);
    std::vector<std::int64_t> ids;
    for (std::uint8_t i = 1; i <= 4; ++i) {
        const std::vector<std::uint8_t> stamp = {'0', static_cast<std::uint8_t>('0' + i), '.', '1', '2', '.',
                                                 '2', '6', '\r', '\n'};
        ids.push_back(store.KeepBackup("A123456", stamp, PackedDatabase(i, i), i, "0" + std::to_string(i) + ".12.26"));
    }
    const std::int64_t other = store.KeepBackup("B000001", {}, PackedDatabase(2, 9), 2, "");
    EXPECT_NE(other, 0);
    EXPECT_EQ(store.KeepBackup("A123456", {}, PackedDatabase(3, 0), 4, ""), 0) << "records differ from the header";
    auto shortened = PackedDatabase(3, 0);
    shortened.pop_back();
    EXPECT_EQ(store.KeepBackup("A123456", {}, shortened, 3, ""), 0) << "cut short";

    const auto kept = store.ListBackups("A123456");
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].id, ids[3]);
    EXPECT_EQ(kept[0].records, 4u);
    EXPECT_EQ(kept[0].date, "04.12.26");
    EXPECT_EQ(kept[2].id, ids[1]);
    EXPECT_FALSE(store.LoadBackup(ids[0]).has_value());
    const auto newest = store.LoadBackup(ids[3]);
    ASSERT_TRUE(newest.has_value());
    EXPECT_EQ(newest->database, PackedDatabase(4, 4));
    EXPECT_EQ(std::string(newest->dateStamp.begin(), newest->dateStamp.end()), "04.12.26\r\n");
    EXPECT_EQ(store.ListBackups("B000001").size(), 1u);
}

std::vector<std::uint8_t> Stamp(const std::string& date) {
    std::vector<std::uint8_t> bytes(date.begin(), date.end());
    bytes.push_back('\r');
    bytes.push_back('\n');
    return bytes;
}

std::int64_t Count(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::int64_t value = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

// Whatever changed a kept backup after it was kept, it never goes back into
// an Orvo: the restore stops before anything is erased.
TEST(HistoryStore, ABackupChangedAfterItWasKeptIsNotHandedOut) {
    ScratchFolder folder("history_damaged");
    const std::string path = folder.File("history.sqlite");
    const struct {
        const char* change;
        const char* sql;
    } changes[] = {
        {"one byte of the database", "UPDATE backups SET database = substr(database, 1, 20) || X'A5' || "
                                     "substr(database, 22)"},
        {"one byte of the date stamp", "UPDATE backups SET date_stamp = X'30322E31322E32360D0A'"},
        {"the date it was kept with", "UPDATE backups SET date = '09.12.26'"},
        {"no digest", "UPDATE backups SET digest = NULL"},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.change);
        std::filesystem::remove(path);
        std::int64_t id = 0;
        {
            HistoryStore store(path, nullptr);
            id = store.KeepBackup("A123456", Stamp("01.12.26"), PackedDatabase(40, 7), 40, "01.12.26");
            ASSERT_TRUE(store.LoadBackup(id).has_value());
        }
        RunSql(path, change.sql);
        const HistoryStore store(path, nullptr);
        std::string problem;
        EXPECT_FALSE(store.LoadBackup(id, &problem).has_value());
        EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
        EXPECT_EQ(store.ListBackups("A123456").size(), 1u) << "the damaged backup stays for support to look at";
    }
}

// Interrupted retries read the same database again and again; the older,
// different backups must not be pushed out by copies of it.
TEST(HistoryStore, ACopyIdenticalToTheNewestBackupIsNotKeptAgain) {
    ScratchFolder folder("history_identical");
    HistoryStore store(folder.File("history.sqlite"), nullptr);
    const std::int64_t first = store.KeepBackup("A123456", Stamp("01.12.26"), PackedDatabase(20, 1), 20, "01.12.26");
    const std::int64_t second = store.KeepBackup("A123456", Stamp("02.12.26"), PackedDatabase(18, 2), 18, "02.12.26");
    const std::int64_t third = store.KeepBackup("A123456", Stamp("03.12.26"), PackedDatabase(19, 3), 19, "03.12.26");
    for (int retry = 0; retry < 3; ++retry)
        EXPECT_EQ(store.KeepBackup("A123456", Stamp("03.12.26"), PackedDatabase(19, 3), 19, "03.12.26"), third);
    // The same database under another date stamp is another backup.
    const std::int64_t restamped =
        store.KeepBackup("A123456", Stamp("04.12.26"), PackedDatabase(19, 3), 19, "04.12.26");
    EXPECT_NE(restamped, third);
    const auto kept = store.ListBackups("A123456");
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].id, restamped);
    EXPECT_EQ(kept[1].id, third);
    EXPECT_EQ(kept[2].id, second);
    EXPECT_FALSE(store.LoadBackup(first).has_value());
}

TEST(HistoryStore, BackupsStayWithinTheirBoundLongestUnseenSerialsFirst) {
    ScratchFolder folder("history_bound");
    const std::string path = folder.File("history.sqlite");
    HistoryStore store(path, nullptr);
    const std::uint64_t one = 5 + 14 * 10 + 10;  // a backup of 10 records with its stamp
    const std::int64_t day = 24 * 3600 * 1000;
    const auto keepAt = [&](const std::string& serial, std::uint8_t fill, std::int64_t ageDays) {
        const std::int64_t id = store.KeepBackup(serial, Stamp("01.12.26"), PackedDatabase(10, fill), 10, "01.12.26");
        RunSql(path, ("UPDATE backups SET kept_ms = " + std::to_string(HistoryNowMs() - ageDays * day) +
                      " WHERE id = " + std::to_string(id))
                         .c_str());
        return id;
    };
    const std::int64_t oldest = keepAt("OLD0001", 1, 200);
    const std::int64_t older = keepAt("OLD0001", 2, 100);
    const std::int64_t lone = keepAt("OLD0002", 3, 60);
    // Seen in a cycle only days ago, its backup kept long before.
    const std::int64_t recentLone = keepAt("NEW0001", 4, 90);
    HistoryRecord seen;
    seen.startedMs = HistoryNowMs() - 2 * day;
    seen.serial = "NEW0001";
    seen.outcome = CycleOutcome::Succeeded;
    store.Save(seen);

    store.SetBackupBytesBound(3 * one);
    const std::int64_t newest = store.KeepBackup("NEW0002", Stamp("01.12.26"), PackedDatabase(10, 5), 10, "01.12.26");
    EXPECT_FALSE(store.LoadBackup(oldest).has_value());
    EXPECT_FALSE(store.LoadBackup(older).has_value()) << "all of the longest unseen serial's backups go first";
    EXPECT_TRUE(store.LoadBackup(lone).has_value()) << "removed beyond the bound";
    EXPECT_EQ(Count(path, "SELECT SUM(LENGTH(database) + LENGTH(date_stamp)) FROM backups"),
              static_cast<std::int64_t>(3 * one));

    // Beyond the bound only the lone backups of serials seen this month stay.
    store.SetBackupBytesBound(one);
    EXPECT_NE(store.KeepBackup("NEW0002", Stamp("02.12.26"), PackedDatabase(10, 6), 10, "02.12.26"), 0);
    EXPECT_FALSE(store.LoadBackup(lone).has_value()) << "not seen for 60 days";
    EXPECT_TRUE(store.LoadBackup(recentLone).has_value()) << "the only backup of a serial updated 2 days ago";
    EXPECT_FALSE(store.LoadBackup(newest).has_value()) << "not the only backup of its serial";
    EXPECT_EQ(store.ListBackups("NEW0002").size(), 1u);
}

// Reading the history (orvo-tool history) leaves every file as it found it:
// another program's database, a history of an earlier version, a history
// that another process is writing.
TEST(HistoryStore, AReaderChangesNothingItReads) {
    ScratchFolder folder("history_reader");
    Reports reports;
    const std::string foreign = folder.File("foreign.sqlite");
    RunSql(foreign, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine')");
    const auto foreignBytes = ReadBytes(foreign);
    for (const HistoryStore::Open mode : {HistoryStore::Open::ReadOnly, HistoryStore::Open::CreateIfMissing}) {
        const HistoryStore store(foreign, reports.Sink(), mode);
        EXPECT_FALSE(store.Usable());
    }
    ASSERT_EQ(reports.texts.size(), 2u);
    EXPECT_NE(reports.texts[0].find("not an update history"), std::string::npos) << reports.texts[0];
    EXPECT_EQ(ReadBytes(foreign), foreignBytes);
    EXPECT_FALSE(std::filesystem::exists(foreign + "-wal"));

    // A history of schema 1, as the first release wrote it.
    const std::string earlier = folder.File("earlier.sqlite");
    std::int64_t backup = 0;
    {
        HistoryStore store(earlier, nullptr);
        HistoryRecord record;
        record.startedMs = 1'000;
        record.serial = "A123456";
        record.outcome = CycleOutcome::Failed;
        record.cause = "Verify error";
        store.Save(record);
        backup = store.KeepBackup("A123456", Stamp("01.12.26"), PackedDatabase(3, 9), 3, "01.12.26");
    }
    RunSql(earlier, "DROP TABLE cycle_cause_args; ALTER TABLE cycles DROP COLUMN cause_id;"
                    " ALTER TABLE backups DROP COLUMN digest; PRAGMA user_version = 1");
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(earlier.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; UPDATE cycles SET cause = 'being written'", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    {
        HistoryStore reader(earlier, reports.Sink(), HistoryStore::Open::ReadOnly);
        const auto records = reader.Records();
        ASSERT_EQ(records.size(), 1u) << "read while another process holds the write lock";
        EXPECT_EQ(records[0].cause, "Verify error");
        EXPECT_EQ(reader.ListBackups("A123456").size(), 1u);
        EXPECT_EQ(reader.Save(records[0]), 0);
    }
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(Count(earlier, "PRAGMA user_version"), 1);
    EXPECT_EQ(reports.texts.size(), 2u);

    // The updater migrates it, and the backups kept before have their digest.
    const HistoryStore migrated(earlier, reports.Sink());
    EXPECT_EQ(Count(earlier, "PRAGMA user_version"), HistoryStore::SchemaVersion);
    EXPECT_TRUE(migrated.LoadBackup(backup).has_value());
    EXPECT_EQ(migrated.Records().size(), 1u);
    EXPECT_EQ(reports.texts.size(), 2u);
}

// A journal file made while the history was read-only keeps that mode; it
// must not keep the history unusable once the file is writable again.
TEST(HistoryStore, ReadOnlyJournalLeftBehindIsMadeWritableAgain) {
    ScratchFolder folder("history_journal");
    const std::string path = folder.File("history.sqlite");
    { HistoryStore made(path, nullptr); }
    WriteBytes(path + "-shm", {});
    namespace fs = std::filesystem;
    fs::permissions(path + "-shm", fs::perms::owner_read);
    ASSERT_EQ(ModeBits(path + "-shm") & 0222u, 0u);
    Reports reports;
    HistoryStore store(path, reports.Sink());
    ASSERT_TRUE(store.Usable()) << (reports.texts.empty() ? "" : reports.texts[0]);
    HistoryRecord record;
    record.serial = "A123456";
    record.outcome = CycleOutcome::Succeeded;
    EXPECT_NE(store.Save(record), 0);
    EXPECT_NE(ModeBits(path + "-shm") & 0200u, 0u);
    ORVO_SKIP_WITHOUT(FilePermissions);
    EXPECT_EQ(ModeBits(path + "-shm"), 0600u);
}

TEST(HistoryRecorder, TurnsACycleIntoOneRecord) {
    ScratchFolder folder("history_recorder");
    HistoryStore store(folder.File("history.sqlite"), nullptr);
    HistoryRecorder recorder(store);
    CycleEventChannel channel;
    channel.Subscribe(recorder);

    channel.Publish(CycleEvents::DeviceIdentified{"USB\\A", "", false});
    channel.Publish(CycleEvents::DeviceIdentified{"USB\\B", "A123456", true, CycleSource::Restore});
    channel.Publish(CycleEvents::HoldingsRead{"A123456", Holding("01.12.26", 20000)});
    auto now = store.Records();
    ASSERT_EQ(now.size(), 1u) << "a refused device makes no record";
    EXPECT_FALSE(now[0].outcome.has_value());
    EXPECT_EQ(now[0].before.records, 20000u);

    std::thread monitor([&] {
        for (int i = 0; i < 50; ++i)
            channel.Publish(CycleEvents::DownloadAnswered{"/OrvoDownload.aspx?s=A123456", 200, 1});
    });
    for (int i = 0; i < 50; ++i)
        channel.Publish(CycleEvents::PhaseEnded{CyclePhase::Write, true, 10ms});
    monitor.join();
    CycleEvents::CycleEnded ended;
    ended.outcome = CycleOutcome::Succeeded;
    ended.source = CycleSource::Restore;
    ended.serial = "A123456";
    ended.after = Holding("07.12.26", 15000);
    ended.causeId = 202;
    ended.causeArgs = {"A123456"};
    ended.durations[static_cast<std::size_t>(CyclePhase::Verify)] = 70ms;
    channel.Publish(ended);

    channel.Publish(CycleEvents::DeviceIdentified{"USB\\B", "A123456", true});
    channel.Publish(CycleEvents::DeviceIdentified{"USB\\C", "C333333", true});
    now = store.Records();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_FALSE(now[0].outcome.has_value());
    EXPECT_EQ(now[1].outcome, CycleOutcome::Interrupted) << "a new cycle began before its end";
    const HistoryRecord& done = now[2];
    EXPECT_EQ(done.outcome, CycleOutcome::Succeeded);
    EXPECT_EQ(done.source, CycleSource::Restore);
    EXPECT_EQ(done.before.records, 20000u);
    EXPECT_EQ(done.after.records, 15000u);
    EXPECT_EQ(done.causeId, 202);
    EXPECT_EQ(done.causeArgs, std::vector<std::string>{"A123456"});
    EXPECT_EQ(done.bytesDownloaded, 50u);
    EXPECT_EQ(done.durations[static_cast<std::size_t>(CyclePhase::Write)], 500ms);
    EXPECT_EQ(done.durations[static_cast<std::size_t>(CyclePhase::Verify)], 70ms);
    EXPECT_GE(done.endedMs, done.startedMs);
    channel.Unsubscribe(recorder);
}

}  // namespace

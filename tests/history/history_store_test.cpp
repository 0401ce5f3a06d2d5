#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    HistoryRecord other;
    other.startedMs = 2'000'000;
    other.serial = "B000001";
    other.outcome = CycleOutcome::AlreadyCurrent;
    {
        HistoryStore store(path, reports.Sink());
        ASSERT_TRUE(store.Usable());
        failed.id = store.Save(failed);
        other.id = store.Save(other);
        EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    HistoryStore reopened(path, reports.Sink(), HistoryStore::Open::ExistingOnly);
    const auto all = reopened.Records();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].serial, "B000001");
    EXPECT_FALSE(all[0].before.known);
    const HistoryRecord& back = all[1];
    EXPECT_EQ(back.id, failed.id);
    EXPECT_EQ(back.startedMs, failed.startedMs);
    EXPECT_EQ(back.endedMs, failed.endedMs);
    EXPECT_EQ(back.source, CycleSource::File);
    EXPECT_EQ(back.outcome, CycleOutcome::Failed);
    EXPECT_EQ(back.cause, failed.cause);
    EXPECT_TRUE(back.before.known && back.before.hasDatabase);
    EXPECT_EQ(back.before.records, 18532u);
    EXPECT_EQ(back.before.date, "01.12.26");
    EXPECT_TRUE(back.after.known && !back.after.hasDatabase);
    EXPECT_EQ(back.bytesDownloaded, 260'000u);
    EXPECT_EQ(back.durations, failed.durations);
    EXPECT_EQ(reopened.Records("A123456").size(), 1u);
    EXPECT_TRUE(reports.texts.empty());
}

TEST(HistoryStore, CycleOfAProcessThatEndedIsInterruptedAtTheNextOpening) {
    ScratchFolder folder("history_interrupted");
    const std::string path = folder.File("history.sqlite");
    HistoryRecord running;
    running.startedMs = HistoryNowMs();
    running.serial = "K111111";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Killed in the middle of the cycle: nothing runs after the save.
        HistoryStore store(path, nullptr);
        store.Save(running);
        ::_exit(store.Usable() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

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
    EXPECT_EQ(done.bytesDownloaded, 50u);
    EXPECT_EQ(done.durations[static_cast<std::size_t>(CyclePhase::Write)], 500ms);
    EXPECT_EQ(done.durations[static_cast<std::size_t>(CyclePhase::Verify)], 70ms);
    EXPECT_GE(done.endedMs, done.startedMs);
    channel.Unsubscribe(recorder);
}

}  // namespace

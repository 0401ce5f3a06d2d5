#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <chrono>

#include "common/program_folder.h"
#include "cycle_json.h"
#include "database/download_request.h"
#include "device_session.h"
#include "interrupt_signal.h"
#include "history/history_store.h"
#include "update/system_sleep_inhibitor.h"
#include "update/holdings_text.h"
#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "update/update_engine.h"
#include "updater_locations.h"

// update: one update of the attached Orvo by the updater's own engine
// (identify, download, convert, compare, verified write, date stamp), the
// cycle's events shown on the console. The engine is stopped once the first
// cycle has an outcome: nobody waits for the unplug here.

namespace {

// The first cycle's outcome, or the refusal of the device before any cycle.
class FirstOutcome final : public CycleEventListener {
public:
    void OnCycleEvent(const CycleEvent& event) override {
        std::lock_guard lock(mutex_);
        if (ended_ || refused_)
            return;
        if (const auto* ended = std::get_if<CycleEvents::CycleEnded>(&event))
            ended_ = *ended;
        else if (const auto* identified = std::get_if<CycleEvents::DeviceIdentified>(&event);
                 identified != nullptr && !identified->accepted)
            refused_ = *identified;
        else
            return;
        changed_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_ || refused_ || givenUp_; });
    }
    // Wait returns now: the engine is being stopped.
    void GiveUp() {
        std::lock_guard lock(mutex_);
        givenUp_ = true;
        changed_.notify_all();
    }
    std::optional<CycleEvents::CycleEnded> Ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    std::optional<CycleEvents::DeviceIdentified> Refused() const {
        std::lock_guard lock(mutex_);
        return refused_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<CycleEvents::CycleEnded> ended_;
    std::optional<CycleEvents::DeviceIdentified> refused_;
    bool givenUp_ = false;
};

struct FirstResult {
    std::optional<CycleEvents::CycleEnded> ended;
    std::optional<CycleEvents::DeviceIdentified> refused;
    int signal = 0;                // the signal that stopped the cycle, 0 for none
    std::string left;              // what that left in the Orvo
    std::int64_t startedMs = 0;
    std::int64_t endedMs = 0;
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str());
    return ExitFailure;
}

// The updater's settings file, from where the updater beside this program
// keeps it (its data folder, or a file prepared beside the program), read
// and never written; the defaults when there is none. The size of the
// regions chosen there paces the download's progress as in the window.
std::int32_t UpdaterDownloadSizeKb() {
    SharedSettings settings(UpdaterLocations(false));
    settings.LoadSettings({});
    settings.TakeLanguageIndexFromFragment();
    settings.LoadRegionSelection();
    return settings.ComputeDownloadSize();
}

void SayProblem(const std::string& text) { std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str()); }

// What the updater keeps of a cycle: the history (with the backups); the
// engine records each cycle in it and writes the updater's log.
struct Keeping {
    // The first run on an account where the window never ran makes the data
    // folder, so that the history and its backups are kept from the start.
    explicit Keeping(const std::string& historyFile)
        : locations(UpdaterLocations(true)), store(historyFile, SayProblem) {}
    FileLocations locations;
    HistoryStore store;
};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Runs the update engine until the first outcome and stops it.
FirstResult RunOneCycle(DeviceSession& session, Keeping& keeping, const CycleRequest& request,
                        std::int32_t downloadSizeKb, const std::string& serverHost) {
    CDfuDevice& device = session.Device();
    Resources resources;
    FirstOutcome outcome;
    FlashWitness flash;
    std::atomic<bool> saidGone{false};
    EngineSetup setup(device, session.View(), session.Signals(), resources);
    // The updater's settings are read (UpdaterDownloadSizeKb), never written.
    setup.saveSettings = [] {};
    setup.downloadSizeKb = [downloadSizeKb] { return downloadSizeKb; };
    setup.serverHost = [serverHost] { return serverHost; };
    // The device is the session's pick: with --device PATH that path. Before
    // the write the worker waits for an Orvo that went away, as the window
    // does; here the console says so once rather than hang silently.
    setup.findDevice = [&session, &saidGone] {
        const bool found = session.FindDevice();
        if (!found && !saidGone.exchange(true)) {
            session.Console().EndLine();
            std::fprintf(stderr, "%sthe Orvo is gone: plug it in again to go on (Ctrl-C ends)\n",
                         CommandPrefix().c_str());
        }
        return found;
    };
    setup.history = &keeping.store;
    setup.logFolder = keeping.locations.logFolder;
    setup.logNotWritable = SayProblem;
    setup.listeners = {&flash, &outcome, &session.Answers()};
    setup.clock = &session.Clock();
    const std::unique_ptr<SleepInhibitorPort> inhibitor = SystemSleepInhibitor();
    setup.sleepInhibitor = inhibitor.get();
    std::string error;
    std::unique_ptr<UpdateEngine> engine = UpdateEngine::Make(std::move(setup), error);
    if (!engine) {
        SayProblem(error);
        return {};
    }
    FirstResult result;
    result.startedMs = NowMs();
    session.Answers().AnswerThrough([&engine](std::uint64_t id, bool yes) { engine->Answer(id, yes); });
    engine->RequestCycle(request);
    {
        // A stop request ends the cycle as interrupted, as closing the window
        // does; the recorder keeps that at once.
        UpdateEngine& running = *engine;
        ConsoleEvents& console = session.Console();
        InterruptWatch interrupts([&running, &outcome, &console](int) {
            console.NoteStop();
            running.RequestStop();
            outcome.GiveUp();
        });
        engine->Start();
        outcome.Wait();
        engine->StopAndJoin();
        result.signal = interrupts.Signal();
    }
    session.Answers().AnswerThrough(nullptr);
    engine.reset();
    result.endedMs = NowMs();
    // The stop ended nothing that ran; the device serves the checks below.
    device.ShuttingDown = false;
    session.Console().EndLine();
    result.ended = outcome.Ended();
    result.refused = outcome.Refused();
    result.left = flash.LeftText();
    return result;
}

// Says what a signal left and how the program ends.
int Interrupted(const FirstResult& result) {
    std::fprintf(stderr, "%sinterrupted: %s\n", CommandPrefix().c_str(), result.left.c_str());
    return ExitCodeOfSignal(result.signal);
}

// "failed: CAUSE", or the outcome alone when the console said the cause
// already; a kept database says how to write it after all.
std::string OutcomeWithCause(ConsoleEvents& console, const CycleEvents::CycleEnded& ended) {
    std::string text = OutcomeName(ended.outcome);
    if (!ended.cause.empty() && !console.SaidAlready(ended.cause))
        text += ": " + ended.cause;
    else if (!ended.cause.empty())
        text += " (the cause is above)";
    if (ended.outcome == CycleOutcome::Kept)
        text += "; run again with -y (or --accept-smaller) to write it";
    return text;
}

// The cycle as `history --json` has it: read back from the history, or made
// from the outcome when the history could not keep it.
std::string CycleRecordJson(Keeping& keeping, const FirstResult& result) {
    const CycleEvents::CycleEnded& ended = *result.ended;
    const std::vector<HistoryRecord> kept = keeping.store.Records(ended.serial);
    if (!kept.empty() && kept.front().startedMs >= result.startedMs - 1000)
        return HistoryRecordJson(kept.front());
    HistoryRecord record;
    record.startedMs = result.startedMs;
    record.endedMs = ended.outcome == CycleOutcome::Interrupted ? 0 : result.endedMs;
    record.serial = ended.serial;
    record.source = ended.source;
    record.outcome = ended.outcome;
    record.cause = ended.cause;
    record.before = ended.before;
    record.after = ended.after;
    record.bytesDownloaded = ended.bytesDownloaded;
    record.durations = ended.durations;
    record.causeId = ended.causeId;
    record.causeArgs = ended.causeArgs;
    return HistoryRecordJson(record);
}

// --history FILE, or the updater's own history.
bool TakeHistoryFile(std::vector<std::string>& args, std::string& file) {
    if (!TakeOption(args, "--history", file)) {
        file = UpdaterLocations(false).historyFile;
        return true;
    }
    return !file.empty();
}

// Why a command found no device to work on.
std::string NotAttachedText(DeviceSession& session) {
    return PrintableText(session.Device().DevicePath.Get()) + " is not attached, or its description cannot be read";
}

std::string HoldingsText(const DatabaseHoldings& holdings) {
    return HoldingsLine(Resources().StringLookup(), holdings);
}

// -y, --assume-yes and the older --accept-smaller: Yes to every question.
bool TakeAssumeYes(std::vector<std::string>& args) {
    bool yes = false;
    for (const char* name : {"-y", "--assume-yes", "--accept-smaller"})
        yes = TakeFlag(args, name) || yes;
    return yes;
}

// With --json stdout carries the JSON alone: the progress goes to stderr.
void ProgressBesideJson(DeviceSession& session) {
    session.Console().SendProgressTo(stderr, ::isatty(STDERR_FILENO) == 1);
}

// Whether a signal cut the cycle short; one that came after its end changed
// nothing.
bool CutShort(const FirstResult& result) {
    return result.signal != 0 && (!result.ended || result.ended->outcome == CycleOutcome::Interrupted);
}

int Update(DeviceSession& session, std::vector<std::string>& args) {
    std::string host;
    const bool hostGiven = TakeOption(args, "--host", host);
    CycleRequest request;
    const bool fromFile = TakeOption(args, "--from", request.file);
    const bool assumeYes = TakeAssumeYes(args);
    const bool json = TakeFlag(args, "--json");
    std::string historyFile;
    const bool historyGiven = TakeHistoryFile(args, historyFile);
    std::string error;
    const bool picked = session.PickDevice(args, error);
    if (!args.empty())
        return RejectLeftovers(args);
    if (hostGiven && host.empty())
        return UsageError("--host needs HOST[:PORT]");
    if (fromFile && request.file.empty())
        return UsageError("--from needs FILE");
    if (!historyGiven)
        return UsageError("--history needs FILE");
    if (!picked)
        return Fail(error);
    if (fromFile)
        request.source = CycleSource::File;
    session.AnswerQuestions(assumeYes);
    session.Console().PlanSteps(request.source);
    if (json)
        ProgressBesideJson(session);
    if (!session.FindDevice())
        return Fail(NotAttachedText(session));

    const std::int32_t downloadSizeKb = UpdaterDownloadSizeKb();
    Keeping keeping(historyFile);
    const FirstResult outcome = RunOneCycle(session, keeping, request, downloadSizeKb,
                                            hostGiven ? host : DefaultServerHost());
    if (json && outcome.ended)
        std::printf("%s\n", CycleRecordJson(keeping, outcome).c_str());
    if (CutShort(outcome))
        return Interrupted(outcome);
    if (outcome.refused)
        return Fail(PrintableText(outcome.refused->path) + " is not an Orvo the updater accepts "
                    "(a foreign device, or its identity block could not be read)");
    if (!outcome.ended)
        return ExitFailure;  // the engine could not start; it said why
    const CycleEvents::CycleEnded& ended = *outcome.ended;
    const std::string serial = PrintableText(ended.serial);
    if (ended.outcome != CycleOutcome::Succeeded && ended.outcome != CycleOutcome::AlreadyCurrent)
        return Fail("the update of " + serial + " " + OutcomeWithCause(session.Console(), ended));
    if (!json)
        std::printf("before: %s\nafter: %s\n", HoldingsText(ended.before).c_str(), HoldingsText(ended.after).c_str());

    std::string date;
    if (!DeviceHoldsTodaysDate(session.Device(), date))
        return Fail("the date stamp of " + serial + " reads back as " + date + ", not today's");
    if (json)
        return ExitSuccess;
    if (ended.outcome == CycleOutcome::AlreadyCurrent)
        std::printf("%s already held this database; date stamp renewed: %s\n", serial.c_str(), date.c_str());
    else
        std::printf("updated %s: %llu bytes downloaded, date stamp %s\n", serial.c_str(),
                    static_cast<unsigned long long>(ended.bytesDownloaded), date.c_str());
    return ExitSuccess;
}

int RunUpdate(const std::vector<std::string>& arguments) {
    return RunInDeviceSession(arguments, Update);
}

std::string KeptText(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    char text[32] = "?";
    if (localtime_r(&seconds, &parts) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

int Restore(DeviceSession& session, std::vector<std::string>& args) {
    const bool list = TakeFlag(args, "--list");
    const bool json = TakeFlag(args, "--json");
    const bool assumeYes = TakeAssumeYes(args);
    std::string pickText;
    const bool pickGiven = TakeOption(args, "--pick", pickText);
    std::string historyFile;
    const bool historyGiven = TakeHistoryFile(args, historyFile);
    std::string error;
    const bool picked = session.PickDevice(args, error);
    if (!args.empty())
        return RejectLeftovers(args);
    std::size_t pick = 1;
    if (pickGiven) {
        std::uint64_t value = 0;
        if (!ParseWholeNumber(pickText, value) || value < 1 || value > HistoryStore::BackupsPerSerial)
            return UsageError("--pick needs a number from 1 (the newest backup) to " +
                              std::to_string(HistoryStore::BackupsPerSerial));
        pick = static_cast<std::size_t>(value);
    }
    if (json && !list)
        return UsageError("--json goes with --list");
    if (!historyGiven)
        return UsageError("--history needs FILE");
    if (!picked)
        return Fail(error);
    if (!session.FindDevice())
        return Fail(NotAttachedText(session));

    CDfuDevice& device = session.Device();
    session.Signals().ShowProgress = 0;
    if (device.IdentifyDevice("Orvo") != IdentifyResult::Accepted)
        return Fail(PrintableText(device.DevicePath.Get()) + " is not an Orvo the updater accepts");
    const std::string serial = device.DeviceSerial.Get();
    Keeping keeping(historyFile);
    const std::vector<BackupInfo> backups = keeping.store.ListBackups(serial);
    if (list && json) {
        std::vector<std::string> items;
        for (std::size_t i = 0; i < backups.size(); ++i)
            items.push_back(BackupJson(i + 1, backups[i]));
        std::printf("%s\n", JsonList(items).c_str());
        return ExitSuccess;
    }
    if (list) {
        if (backups.empty())
            std::printf("no backup kept of %s\n", PrintableText(serial).c_str());
        for (std::size_t i = 0; i < backups.size(); ++i)
            std::printf("%zu  %s  %s  kept %s\n", i + 1,
                        HoldingsText({true, true, backups[i].date, backups[i].records}).c_str(),
                        PrintableText(serial).c_str(), KeptText(backups[i].keptMs).c_str());
        return ExitSuccess;
    }
    if (pick > backups.size())
        return Fail("no backup " + std::to_string(pick) + " of " + PrintableText(serial) + ": " +
                    std::to_string(backups.size()) + " kept");

    const std::int32_t downloadSizeKb = UpdaterDownloadSizeKb();
    session.AnswerQuestions(assumeYes);
    session.Console().PlanSteps(CycleSource::Restore);
    const FirstResult outcome =
        RunOneCycle(session, keeping, {CycleSource::Restore, {}, backups[pick - 1].id}, downloadSizeKb,
                    DefaultServerHost());
    if (CutShort(outcome))
        return Interrupted(outcome);
    if (outcome.refused)
        return Fail(PrintableText(outcome.refused->path) + " is not an Orvo the updater accepts");
    if (!outcome.ended)
        return ExitFailure;
    const CycleEvents::CycleEnded& ended = *outcome.ended;
    if (ended.outcome != CycleOutcome::Succeeded && ended.outcome != CycleOutcome::AlreadyCurrent)
        return Fail("the restore of " + PrintableText(serial) + " " + OutcomeWithCause(session.Console(), ended));
    std::printf("restored %s: %s\n", PrintableText(serial).c_str(), HoldingsText(ended.after).c_str());
    return ExitSuccess;
}

int RunRestore(const std::vector<std::string>& arguments) {
    return RunInDeviceSession(arguments, Restore);
}

const std::string kHistoryHelp =
    "  --history FILE         keep the history and the backups in FILE, not in the updater's own\n";

const CommandRegistration restoreRegistration{
    "restore",
    std::string("[--list [--json]] [--pick N] [-y] [--history FILE] [--device PATH] ") + UsbSession::OptionsUsage(),
    "write a database the updater kept before it replaced it back into the same Orvo, with its own date stamp",
    &RunRestore,
    "  --list                 list the backups of the attached Orvo's serial, newest first: date, cameras, when\n"
    "                         kept; nothing is written\n"
    "  --json                 with --list: a JSON list of objects: number, serial, database, date\n"
    "                         (2026-12-01, null when it had no date stamp), records, kept (UTC, ISO 8601)\n"
    "  --pick N               restore backup N of that list (1, the newest, by default)\n"
    "  -y, --assume-yes       answer Yes to the questions of the cycle\n" +
        kHistoryHelp + DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "The database it replaces is kept like any other, and the restore is a record of the history.\n"
        "Exit code 0 when the Orvo holds the backup and its date stamp; 1 with the cause on stderr otherwise;\n"
        "130 (143 for SIGTERM) after Ctrl-C, which stops the write, records the cycle as interrupted and says\n"
        "on stderr what the Orvo is left with.",
    "orvo-tool restore --list --virtual=flash.bin"};

const CommandRegistration registration{
    "update",
    std::string("[--host HOST[:PORT]] [--from FILE] [-y] [--json] [--history FILE] [--device PATH] ") +
        UsbSession::OptionsUsage(),
    "update the attached Orvo as the updater does: identify, download, convert, write, date stamp",
    &RunUpdate,
    "  --host HOST[:PORT]     the update server (plain http); the build's server by default\n"
    "  --from FILE            write the database text in FILE (the server's answer format) instead of\n"
    "                         downloading; FILE is only read\n"
    "  -y, --assume-yes       answer Yes to the questions of the cycle: a database of fewer than half the\n"
    "                         Orvo's records is written (refused otherwise)\n"
    "  --accept-smaller       the same as -y\n"
    "  --json                 print the cycle's record as `history --json` has it (stdout holds only that;\n"
    "                         the progress goes to stderr)\n" +
        kHistoryHelp + DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "The cycle is recorded in the updater's history and log; the database it replaces is kept there.\n"
        "The updater's settings file is read (never written) from where the updater keeps it; without one\n"
        "the defaults apply. On a terminal one line shows the running step and a bar with its percent\n"
        "(write 7/9  [##########          ]  50%); piped, each phase gets a line when it ends. Exit code 0\n"
        "when the Orvo holds the new database and today's date (or already held the database, which is\n"
        "said); 1 with the cause on stderr otherwise; 130 (143 for SIGTERM) after Ctrl-C, which stops the\n"
        "write, records the cycle as interrupted and says on stderr what the Orvo is left with.",
    "orvo-tool update --host 127.0.0.1:8080 --virtual=flash.bin"};

}  // namespace

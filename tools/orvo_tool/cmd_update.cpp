#include <atomic>
#include <cstdlib>
#include <ctime>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

#include "common/program_folder.h"
#include "device_session.h"
#include "history/history_store.h"
#include "system_sleep_inhibitor.h"
#include "update/holdings_text.h"
#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "update/update_engine.h"

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
        changed_.wait(lock, [this] { return ended_ || refused_; });
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
};

struct FirstResult {
    std::optional<CycleEvents::CycleEnded> ended;
    std::optional<CycleEvents::DeviceIdentified> refused;
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str());
    return ExitFailure;
}

// The updater's settings file, from where the updater beside this program
// keeps it (its data folder, or a file prepared beside the program), read
// and never written; the defaults when there is none. The regions chosen
// there pace the download's progress as in the window.
void TakeUpdaterSettings(CDfuDevice& device) {
    const std::string programFolder = ProgramFolderOf(ResolveProgramPath(""));
    const FileLocations locations = ChooseFileLocations(programFolder, FolderIsWritable(programFolder),
                                                        UserDataFolder(UserEnvironment::Current()), {});
    CDfuDevice updater(locations);
    SharedSettings settings;
    settings.LoadSettings(updater, {});
    settings.TakeLanguageIndexFromFragment(updater);
    settings.LoadRegionSelection(updater);
    device.LanguageIndex = updater.LanguageIndex.load();
    device.LanguageFragment = updater.LanguageFragment;
    device.RegionFragment = updater.RegionFragment;
    device.DownloadSizeKb = settings.ComputeDownloadSize(updater);
}

// The updater's history file and log folder, as the updater beside this
// program keeps them (--history FILE names another history).
FileLocations UpdaterLocations() {
    const std::string programFolder = ProgramFolderOf(ResolveProgramPath(""));
    const UserEnvironment environment = UserEnvironment::Current();
    return ChooseFileLocations(programFolder, FolderIsWritable(programFolder), UserDataFolder(environment), {},
                               UserStateFolder(environment));
}

void SayProblem(const std::string& text) { std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str()); }

// What the updater keeps of a cycle: the history (with the backups); the
// engine records each cycle in it and writes the updater's log.
struct Keeping {
    explicit Keeping(const std::string& historyFile) : store(historyFile, SayProblem) {}
    HistoryStore store;
};

// Runs the update engine until the first outcome and stops it.
FirstResult RunOneCycle(DeviceSession& session, Keeping& keeping, const CycleRequest& request) {
    CDfuDevice& device = session.Device();
    Resources resources;
    FirstOutcome outcome;
    std::atomic<bool> saidGone{false};
    EngineSetup setup(device, session.View(), session.Signals(), resources);
    // The updater's settings are read (TakeUpdaterSettings), never written.
    setup.saveSettings = [](CDfuDevice&) {};
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
    setup.logFolder = UpdaterLocations().logFolder;
    setup.logNotWritable = SayProblem;
    setup.listeners = {&outcome, &session.Answers()};
    setup.clock = &session.Clock();
    const std::unique_ptr<SleepInhibitorPort> inhibitor = SystemSleepInhibitor();
    setup.sleepInhibitor = inhibitor.get();
    std::string error;
    std::unique_ptr<UpdateEngine> engine = UpdateEngine::Make(std::move(setup), error);
    if (!engine) {
        SayProblem(error);
        return {};
    }
    session.Answers().AnswerThrough([&engine](std::uint64_t id, bool yes) { engine->Answer(id, yes); });
    engine->RequestCycle(request);
    engine->Start();
    outcome.Wait();
    engine->StopAndJoin();
    session.Answers().AnswerThrough(nullptr);
    engine.reset();
    // The stop ended nothing that ran; the device serves the checks below.
    device.ShuttingDown = false;
    session.Console().EndLine();
    return {outcome.Ended(), outcome.Refused()};
}

// --history FILE, or the updater's own history.
bool TakeHistoryFile(std::vector<std::string>& args, std::string& file) {
    if (!TakeOption(args, "--history", file)) {
        file = UpdaterLocations().historyFile;
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

int Update(DeviceSession& session, std::vector<std::string>& args) {
    std::string host;
    const bool hostGiven = TakeOption(args, "--host", host);
    CycleRequest request;
    const bool fromFile = TakeOption(args, "--from", request.file);
    const bool acceptSmaller = TakeFlag(args, "--accept-smaller");
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
    session.AnswerQuestions(acceptSmaller);
    if (!session.FindDevice())
        return Fail(NotAttachedText(session));

    CDfuDevice& device = session.Device();
    if (hostGiven)
        device.ServerHost = host;
    TakeUpdaterSettings(device);

    Keeping keeping(historyFile);
    const FirstResult outcome = RunOneCycle(session, keeping, request);
    if (outcome.refused)
        return Fail(PrintableText(outcome.refused->path) + " is not an Orvo the updater accepts "
                    "(a foreign device, or its identity block could not be read)");
    const CycleEvents::CycleEnded& ended = *outcome.ended;
    const std::string serial = PrintableText(ended.serial);
    if (ended.outcome != CycleOutcome::Succeeded && ended.outcome != CycleOutcome::AlreadyCurrent)
        return Fail("the update of " + serial + " " + OutcomeName(ended.outcome) + ": " + ended.cause);
    std::printf("before: %s\nafter: %s\n", HoldingsText(ended.before).c_str(), HoldingsText(ended.after).c_str());

    std::string date;
    if (!DeviceHoldsTodaysDate(device, date))
        return Fail("the date stamp of " + serial + " reads back as " + date + ", not today's");
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
        char* end = nullptr;
        const unsigned long value = std::strtoul(pickText.c_str(), &end, 10);
        if (pickText.empty() || *end != '\0' || value < 1 || value > HistoryStore::BackupsPerSerial)
            return UsageError("--pick needs a number from 1 (the newest backup) to " +
                              std::to_string(HistoryStore::BackupsPerSerial));
        pick = value;
    }
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

    TakeUpdaterSettings(device);
    const FirstResult outcome = RunOneCycle(session, keeping, {CycleSource::Restore, {}, backups[pick - 1].id});
    if (outcome.refused)
        return Fail(PrintableText(outcome.refused->path) + " is not an Orvo the updater accepts");
    const CycleEvents::CycleEnded& ended = *outcome.ended;
    if (ended.outcome != CycleOutcome::Succeeded && ended.outcome != CycleOutcome::AlreadyCurrent)
        return Fail("the restore of " + PrintableText(serial) + " " + OutcomeName(ended.outcome) + ": " + ended.cause);
    std::printf("restored %s: %s\n", PrintableText(serial).c_str(), HoldingsText(ended.after).c_str());
    return ExitSuccess;
}

int RunRestore(const std::vector<std::string>& arguments) {
    return RunInDeviceSession(arguments, Restore);
}

const std::string kHistoryHelp =
    "  --history FILE         keep the history and the backups in FILE, not in the updater's own\n";

const CommandRegistration restoreRegistration{
    "restore", std::string("[--list] [--pick N] [--history FILE] [--device PATH] ") + UsbSession::OptionsUsage(),
    "write a database the updater kept before it replaced it back into the same Orvo, with its own date stamp",
    &RunRestore,
    "  --list                 list the backups of the attached Orvo's serial, newest first: date, cameras, when\n"
    "                         kept; nothing is written\n"
    "  --pick N               restore backup N of that list (1, the newest, by default)\n" +
        kHistoryHelp + DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "The database it replaces is kept like any other, and the restore is a record of the history.\n"
        "Exit code 0 when the Orvo holds the backup and its date stamp; 1 with the cause on stderr otherwise.",
    "orvo-tool restore --list --virtual=flash.bin"};

const CommandRegistration registration{
    "update",
    std::string("[--host HOST[:PORT]] [--from FILE] [--accept-smaller] [--history FILE] [--device PATH] ") +
        UsbSession::OptionsUsage(),
    "update the attached Orvo as the updater does: identify, download, convert, write, date stamp",
    &RunUpdate,
    "  --host HOST[:PORT]     the update server (plain http); the build's server by default\n"
    "  --from FILE            write the database text in FILE (the server's answer format) instead of\n"
    "                         downloading; FILE is only read\n"
    "  --accept-smaller       write a database of fewer than half the Orvo's records (refused otherwise)\n" +
        kHistoryHelp + DeviceOptionHelp() + DeviceSession::OptionsHelp() +
        "The cycle is recorded in the updater's history and log; the database it replaces is kept there.\n"
        "The updater's settings file is read (never written) from where the updater keeps it; without one\n"
        "the defaults apply. On a terminal one line shows the running phase and its percent; piped, each\n"
        "phase gets a line when it ends. Exit code 0 when the Orvo holds the new database and today's date\n"
        "(or already held the database, which is said); 1 with the cause on stderr otherwise.",
    "orvo-tool update --host 127.0.0.1:8080 --virtual=flash.bin"};

}  // namespace

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "update/cycle_request.h"

class CDfuDevice;
class CycleEventListener;
class HistoryStore;
class MessageBoxPort;
class SleepInhibitorPort;
class ViewPort;
class ProgressBarPort;
struct CycleSignals;
class QWidget;

// The update worker as the view holds it once started.
class RunningWorker {
public:
    virtual ~RunningWorker() = default;
    // Ends the worker at its next wait and returns once its thread has ended.
    virtual void StopAndJoin() = 0;
    // Whether the window may close now. While the Orvo is being written
    // closing would leave it without a complete database: the worker asks
    // the user first (a CloseQuestion request) and `approved` runs once the
    // answer is Yes.
    virtual bool MayClose(std::function<void()> approved) = 0;
    // The next cycle writes `request` instead of the server's database
    // (UpdateWorker::RequestCycle).
    virtual CycleRequestAnswer RequestCycle(const CycleRequest& request) {
        (void)request;
        return CycleRequestAnswer::Refused;
    }
    // Starts it, once whoever answers its requests listens.
    virtual void Start() {}
    // Where the window's display sends the cycle's error boxes: requests of
    // the worker's, like its own boxes and questions (null: none, the view
    // shows them itself).
    virtual MessageBoxPort* Boxes() { return nullptr; }
    // The answer to a CycleEvents::Request of the worker's.
    virtual void Answer(std::uint64_t requestId, bool yes) {
        (void)requestId;
        (void)yes;
    }
};

// What the application shell calls in the other subsystems (settings,
// languages, dialogs, the worker, the view's timer rules). None has a
// default that does nothing: the window refuses to start with one left out
// (MissingWiring), as the engine does (UpdateEngine::Check); a window that
// loads or keeps nothing says so with functions that do nothing. The entries
// that may be null say what null means.
struct UpdaterServices {
    // Start-up, before the main window exists.
    std::function<void()> loadSettings;
    std::function<void()> loadLanguageLibrary;
    // The worker's step after identification: region fragment and settings
    // file. No default: an engine started without it refuses to start.
    std::function<void()> saveSettings;
    // The settings' DownloadSizeKb, which paces the download's animation.
    std::function<std::int32_t()> downloadSizeKb;
    // The update server the worker downloads from (DefaultServerHost()
    // unless a test or the demo points it elsewhere).
    std::function<std::string()> serverHost;

    // The view's initial update.
    std::function<void()> loadRegionSelection;
    // Recomputes the settings' DownloadSizeKb from the selection; null keeps
    // the one that the settings file gave.
    std::function<void()> computeDownloadSize;
    // Null makes no worker. Gets these services for the worker's own hooks;
    // the view starts the worker once it listens to its requests.
    std::function<std::unique_ptr<RunningWorker>(const UpdaterServices&, CDfuDevice&, ViewPort&, CycleSignals&)>
        startWorker;

    // One tick of the view's timer with logical id `timerId`, on the UI thread.
    std::function<void(int timerId, CDfuDevice&, ViewPort&, ProgressBarPort&, CycleSignals&)> timerTick;

    // Commands of the main frame, run modally on the UI thread.
    std::function<void(QWidget* parent)> runLanguageDialog;
    std::function<void(QWidget* parent)> runDownloadSelectionDialog;

    // After the worker has ended: what the device operations left with the
    // device (its memory map) goes before the device object does.
    std::function<void(CDfuDevice&)> releaseDevice;

    // Null opens a real modal message box; the headless demo and tests
    // answer it themselves.
    std::function<void(const std::string& text)> messageBox;
    // The answer to the worker's question whether closing the window while
    // the Orvo is being written may go on. Null asks the user; an unattended
    // run, with nobody to answer, decides itself.
    std::function<bool(QWidget* parent)> confirmCloseDuringWrite;
    // The worker's Yes/No questions (ViewPort::AskYesNo). Null asks the user
    // in a modal box; the headless demo and tests answer themselves.
    std::function<bool(const std::string& text)> askYesNo;

    // What the program keeps of its cycles; all owned by the caller and alive
    // until the window has ended. The history (null: none) goes to the
    // worker's operations and the history and restore dialogs.
    HistoryStore* history = nullptr;
    // Subscribed to the device's events before the worker starts and
    // unsubscribed once it has been joined, besides the engine's own
    // recorder, log and sleep guard (a front end's extra listeners).
    std::vector<CycleEventListener*> cycleListeners;
    // What the engine's sleep guard holds while the Orvo is written; the
    // engine refuses to start without one. Outlives the window.
    SleepInhibitorPort* sleepInhibitor = nullptr;
    // Where the engine writes the log for support; "Open log folder" opens it.
    std::string logFolder;
};

// Empty when the window can start with `services`; otherwise the entry left
// out, said in one line.
inline std::string MissingWiring(const UpdaterServices& services) {
    const std::pair<bool, const char*> entries[] = {
        {static_cast<bool>(services.loadSettings), "a way to load the settings"},
        {static_cast<bool>(services.loadLanguageLibrary), "a way to load the language"},
        {static_cast<bool>(services.loadRegionSelection), "a way to load the region selection"},
        {static_cast<bool>(services.timerTick), "the view's timer tick"},
        {static_cast<bool>(services.runLanguageDialog), "the language dialog"},
        {static_cast<bool>(services.runDownloadSelectionDialog), "the download selection dialog"},
        {static_cast<bool>(services.releaseDevice), "a way to release the device"},
    };
    for (const auto& [wired, what] : entries)
        if (!wired)
            return std::string("the window was set up without ") + what;
    return {};
}

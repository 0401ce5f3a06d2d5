#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/progress_bar_port.h"
#include "common/silent_ports.h"
#include "device/device_watcher.h"
#include "history/cycle_log.h"
#include "history/history_recorder.h"
#include "update/cycle_requests.h"
#include "update/dfu_device_cycle_operations.h"
#include "update/engine_clock.h"
#include "update/sleep_guard.h"
#include "update/update_worker.h"
#include "update/view_timer_rules.h"

class CycleEventListener;

// Everything an update engine is made from. The references cannot be left
// out; what the functions leave out is refused at the start with one clear
// error (UpdateEngine::Check), never filled with a default that does
// nothing.
struct EngineSetup {
    EngineSetup(CDfuDevice& onDevice, ViewPort& frontView, CycleSignals& sharedSignals, const Resources& texts)
        : device(onDevice), view(frontView), signals(sharedSignals), resources(texts) {}

    // The device session the cycles work on.
    CDfuDevice& device;
    // The front end: the download's animation, repaints, boxes, questions.
    ViewPort& view;
    CycleSignals& signals;
    // Texts in the language in force; the front end may switch it.
    const Resources& resources;
    // After an Orvo is accepted: rebuilds the region fragment and writes the
    // settings (a front end that keeps none says so with a function that
    // writes nothing).
    std::function<void()> saveSettings;
    // The settings' DownloadSizeKb, read at each download's start.
    std::function<std::int32_t()> downloadSizeKb;
    // The update server ("host" or "host:port"), asked at each download's
    // start: DefaultServerHost(), or a test's, tool's or demo's own.
    std::function<std::string()> serverHost;
    // How the cycle looks afresh for its device (CDfuDevice::FindDeviceNow,
    // or a tool's --device pick).
    std::function<bool()> findDevice;
    // Where a replaced database is kept and a restore comes from, and where
    // the engine's recorder writes each cycle; null: nothing is kept.
    // Outlives the engine.
    HistoryStore* history = nullptr;
    // Where the engine writes the log for support (CycleLog), and how a log
    // that cannot be written is told, once, with what failed.
    std::string logFolder;
    std::function<void(const std::string& problem)> logNotWritable;
    // Subscribed from the engine's start until it has ended, after the
    // engine's own recorder, log and sleep guard: a console, a display.
    // Outlive the engine.
    std::vector<CycleEventListener*> listeners;
    // What holds the system awake while the Orvo is written: the platform's
    // inhibitor (logind here), or NoSleepInhibitor where there is none.
    SleepInhibitorPort* sleepInhibitor = nullptr;
    // The clock to run on when the front end has one already (a tool's
    // device session); null: the engine's own.
    EngineClock* clock = nullptr;
};

// The update cycle as every front end starts it: the worker, the
// operations it runs on the device, and the clock that runs the operation
// monitor and the presence checks for it, started and stopped together.
// The front end keeps only the timer that draws (the download's animation).
class UpdateEngine {
public:
    // Empty when `setup` can be started; otherwise what it lacks.
    static std::string Check(const EngineSetup& setup);
    // Null, with `error` set, when Check refuses `setup`.
    static std::unique_ptr<UpdateEngine> Make(EngineSetup setup, std::string& error);
    ~UpdateEngine();
    UpdateEngine(const UpdateEngine&) = delete;
    UpdateEngine& operator=(const UpdateEngine&) = delete;

    void Start();
    // Returns once the clock and the worker have ended; a running operation
    // and a download are stopped on the way. The caller makes sure the ports
    // no longer wait for the UI thread before calling this on it.
    void StopAndJoin();
    bool IsWritingDevice() const { return worker_.IsWritingDevice(); }
    bool Finished() const { return worker_.Finished(); }
    CycleRequestAnswer RequestCycle(const CycleRequest& request) { return worker_.RequestCycle(request); }
    // A stop ends a wait for an answer too (No).
    void RequestStop();
    // Whether the front end may close now: at once unless the Orvo is being
    // written; then the user is asked first (a CloseQuestion request) and
    // false comes back, and `approved` runs once the answer is Yes (on the
    // answering thread). A stop ends the question unanswered.
    bool MayClose(std::function<void()> approved);
    // Any thread: the answer to the CycleEvents::Request `id` (Yes or No to
    // a question; a box's answer is only that it was dismissed).
    void Answer(std::uint64_t requestId, bool yes) { requests_.Answer(requestId, yes); }
    // The engine's boxes as requests, for a display that shows the cycle's
    // errors: it holds the cycle no more than the worker's own boxes do.
    MessageBoxPort& Boxes() { return requests_; }

private:
    explicit UpdateEngine(EngineSetup setup);
    static DfuDeviceCycleOperations::Hooks HooksOf(const EngineSetup& setup);

    EngineSetup setup_;
    CycleRequests requests_;
    // The clock's ticks never reach the animation: nothing is drawn here.
    SilentProgressBar noBar_;
    // The list of attached interfaces that the presence checks read: kept
    // from the start to the end of the engine, on a thread of its own.
    DeviceWatcher watcher_;
    std::unique_ptr<EngineClock> ownClock_;
    EngineClock& clock_;
    ViewTimerRules rules_;
    DfuDeviceCycleOperations operations_;
    std::unique_ptr<SleepGuard> sleepGuard_;
    std::unique_ptr<HistoryRecorder> recorder_;
    CycleLog log_;
    UpdateWorker worker_;  // after what it uses, so it goes first
    bool started_ = false;
    bool stopped_ = false;
};

// One tick of the main view's timer `timerId` on the UI thread: the download
// animation.
void OnViewTimerTick(int timerId, CDfuDevice& device, ViewPort& view, ProgressBarPort& progressBar,
                     CycleSignals& signals);

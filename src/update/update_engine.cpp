#include "update/update_engine.h"

#include "common/cycle_events.h"
#include "device/dfu_device.h"
#include "device/watcher_searches.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

std::string UpdateEngine::Check(const EngineSetup& setup) {
    if (!setup.saveSettings)
        return "the update engine was set up without a way to save the settings";
    if (!setup.downloadSizeKb)
        return "the update engine was set up without the download's size";
    if (!setup.serverHost)
        return "the update engine was set up without the update server's address";
    if (!setup.findDevice)
        return "the update engine was set up without a way to look for the device";
    if (setup.logFolder.empty())
        return "the update engine was set up without a folder for its log";
    if (!setup.logNotWritable)
        return "the update engine was set up without a way to tell that its log cannot be written";
    if (setup.sleepInhibitor == nullptr)
        return "the update engine was set up without a sleep inhibitor";
    for (const CycleEventListener* listener : setup.listeners)
        if (listener == nullptr)
            return "the update engine was set up with a listener that is missing";
    return {};
}

std::unique_ptr<UpdateEngine> UpdateEngine::Make(EngineSetup setup, std::string& error) {
    error = Check(setup);
    if (!error.empty())
        return nullptr;
    return std::unique_ptr<UpdateEngine>(new UpdateEngine(std::move(setup)));
}

DfuDeviceCycleOperations::Hooks UpdateEngine::HooksOf(const EngineSetup& setup) {
    DfuDeviceCycleOperations::Hooks hooks;
    hooks.saveSettings = setup.saveSettings;
    hooks.downloadSizeKb = setup.downloadSizeKb;
    hooks.findDevice = setup.findDevice;
    hooks.serverHost = setup.serverHost;
    hooks.history = setup.history;
    // A stop ends a running DFU operation (its transfer thread joined) and a
    // download in flight.
    hooks.interrupt = [&device = setup.device] {
        device.StopOperation();
        device.ShuttingDown = true;
    };
    return hooks;
}

UpdateEngine::UpdateEngine(EngineSetup setup)
    : setup_(std::move(setup)),
      requests_(setup_.device.Events),
      watcher_(setup_.device.Backend()),
      ownClock_(setup_.clock == nullptr
                    ? std::make_unique<EngineClock>(setup_.view, [this](int timerId) { rules_.OnTimer(timerId); })
                    : nullptr),
      clock_(setup_.clock != nullptr ? *setup_.clock : *ownClock_),
      rules_({clock_, noBar_, setup_.signals, setup_.device.ProgressCounter,
              [&device = setup_.device] { return device.FindDevice(); },
              [&device = setup_.device] { device.MonitorOperation(); },
              [&device = setup_.device](const std::string& path) { return device.IsAttached(path); }}),
      operations_(setup_.device, HooksOf(setup_)),
      sleepGuard_(std::make_unique<SleepGuard>(*setup_.sleepInhibitor,
                                                [this](const std::string& line) { log_.Note(line); })),
      recorder_(setup_.history != nullptr ? std::make_unique<HistoryRecorder>(*setup_.history) : nullptr),
      log_(setup_.logFolder, setup_.logNotWritable),
      worker_(setup_.device, operations_, clock_, setup_.signals, setup_.resources) {}

UpdateEngine::~UpdateEngine() { StopAndJoin(); }

void UpdateEngine::Start() {
    if (started_)
        return;
    started_ = true;
    // What keeps a record of the cycle, and the guard, hear each event
    // before any display that may hold it in a box: every front end's log and
    // history say the same, in the same order.
    setup_.device.Events.SubscribeFirst(*sleepGuard_);
    setup_.device.Events.SubscribeFirst(log_);
    if (recorder_)
        setup_.device.Events.SubscribeFirst(*recorder_);
    for (CycleEventListener* listener : setup_.listeners)
        setup_.device.Events.Subscribe(*listener);
    clock_.AskThrough(&requests_);
    setup_.device.WatchThrough(&watcher_);
    watcher_.Start();
    if (ownClock_) {
        setup_.device.ListenForOperationEnds([this] { clock_.Wake(); });
        ownClock_->Start();
    }
    worker_.Start();
}

// The requests first, then the clock: the monitor and the stop of the
// running operation that the worker's interruption makes must not meet. The
// listeners go once nothing publishes any more.
void UpdateEngine::StopAndJoin() {
    if (stopped_)
        return;
    stopped_ = true;
    // A box or question the clock's thread or the worker waits on ends first:
    // nobody would answer it now.
    requests_.Cancel();
    if (ownClock_) {
        setup_.device.ListenForOperationEnds(nullptr);
        ownClock_->Stop();
    }
    RequestStop();
    worker_.Join();
    clock_.AskThrough(nullptr);
    if (!started_)
        return;
    setup_.device.WatchThrough(nullptr);
    // A clock of the front end's may be in the middle of a search.
    AwaitSearchesOfDetachedWatchers();
    watcher_.Stop();
    for (CycleEventListener* listener : setup_.listeners)
        setup_.device.Events.Unsubscribe(*listener);
    if (recorder_)
        setup_.device.Events.Unsubscribe(*recorder_);
    setup_.device.Events.Unsubscribe(log_);
    setup_.device.Events.Unsubscribe(*sleepGuard_);
}

bool UpdateEngine::MayClose(std::function<void()> approved) {
    return requests_.MayClose(worker_.IsWritingDevice(), setup_.resources.String(ResourceId::ConfirmCloseWhileWriting),
                              setup_.resources.String(ResourceId::AppTitle), std::move(approved));
}

void UpdateEngine::RequestStop() {
    requests_.Cancel();
    worker_.RequestStop();
}

void OnViewTimerTick(int timerId, CDfuDevice& device, ViewPort& view, ProgressBarPort& progressBar,
                     CycleSignals& signals) {
    ViewTimerRules rules({view, progressBar, signals, device.ProgressCounter, [&device] { return device.FindDevice(); },
                          [&device] { device.MonitorOperation(); },
                          [&device](const std::string& path) { return device.IsAttached(path); }});
    rules.OnTimer(timerId);
}

#include "qt/production_services.h"

#include "database/download_request.h"
#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "qt/user_notice.h"
#include "qt/settings_services.h"
#include "update/update_engine.h"

namespace {

// The update engine.
class CycleWorker final : public RunningWorker {
public:
    explicit CycleWorker(std::unique_ptr<UpdateEngine> engine) : engine_(std::move(engine)) {}
    void Start() override { engine_->Start(); }
    void StopAndJoin() override { engine_->StopAndJoin(); }
    bool MayClose(std::function<void()> approved) override { return engine_->MayClose(std::move(approved)); }
    CycleRequestAnswer RequestCycle(const CycleRequest& request) override { return engine_->RequestCycle(request); }
    MessageBoxPort* Boxes() override { return &engine_->Boxes(); }
    void Answer(std::uint64_t requestId, bool yes) override { engine_->Answer(requestId, yes); }

private:
    std::unique_ptr<UpdateEngine> engine_;
};

}  // namespace

void ReleaseDevice(CDfuDevice& device) { device.ReleaseOperationResources(); }

UpdaterServices ProductionServices(SharedSettings& settings, Resources& resources) {
    UpdaterServices services;
    WireSettingsAndLanguages(services, settings, resources);
    services.saveSettings = SaveSettingsHook(settings);
    // Told once per run, from whichever thread saved: the box waits for the
    // event loop, so neither the worker nor a dialog holding the settings
    // waits for it.
    settings.SetSaveFailureListener([&resources](const std::string& path) {
        TellUserLater(resources, TextWithValue(resources, ResourceId::SettingsNotSavedText, path));
    });
    services.serverHost = DefaultServerHost;
    services.timerTick = &OnViewTimerTick;
    services.releaseDevice = &ReleaseDevice;
    // The window subscribes the program's listeners itself, before its own
    // displays, so that a box never keeps an event from them.
    services.startWorker = [&resources](const UpdaterServices& wired, CDfuDevice& device, ViewPort& view,
                                        CycleSignals& signals) -> std::unique_ptr<RunningWorker> {
        EngineSetup setup(device, view, signals, resources);
        setup.saveSettings = wired.saveSettings;
        setup.downloadSizeKb = wired.downloadSizeKb;
        setup.serverHost = wired.serverHost;
        setup.findDevice = [&device] { return device.FindDeviceNow(); };
        setup.history = wired.history;
        setup.logFolder = wired.logFolder;
        setup.logNotWritable = [&resources](const std::string& problem) {
            TellUserLater(resources, TextWithValue(resources, ResourceId::LogNotWritableText, problem));
        };
        setup.sleepInhibitor = wired.sleepInhibitor;
        std::string error;
        std::unique_ptr<UpdateEngine> engine = UpdateEngine::Make(std::move(setup), error);
        if (!engine) {
            TellUserLater(resources, error);
            return nullptr;
        }
        return std::make_unique<CycleWorker>(std::move(engine));
    };
    return services;
}

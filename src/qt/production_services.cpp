#include "qt/production_services.h"

#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "qt/user_notice.h"
#include "qt/settings_services.h"
#include "update/update_cycle_run.h"

namespace {

// The worker of the update cycle, started at once.
class CycleWorker final : public RunningWorker {
public:
    CycleWorker(CDfuDevice& device, ViewPort& view, CycleSignals& signals, const Resources& resources,
                DfuDeviceCycleOperations::Hooks hooks)
        : run_(device, view, signals, resources, std::move(hooks)) {
        run_.Start();
    }
    void StopAndJoin() override { run_.StopAndJoin(); }
    bool IsWritingDevice() const override { return run_.IsWritingDevice(); }
    CycleRequestAnswer RequestCycle(const CycleRequest& request) override { return run_.RequestCycle(request); }

private:
    UpdateCycleRun run_;
};

}  // namespace

void StopRunningOperation(CDfuDevice& device) { device.StopOperation(); }

void AbortDownload(CDfuDevice& device) { device.ShuttingDown = true; }

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
    services.timerTick = &OnViewTimerTick;
    services.stopDeviceOperation = &StopRunningOperation;
    services.abortDownload = &AbortDownload;
    services.releaseDevice = &ReleaseDevice;
    services.startWorker = [&resources](const UpdaterServices& wired, CDfuDevice& device, ViewPort& view,
                                        CycleSignals& signals) {
        DfuDeviceCycleOperations::Hooks hooks;
        hooks.saveSettings = wired.saveSettings;
        hooks.history = wired.history;
        hooks.interrupt = [&device] {
            StopRunningOperation(device);
            AbortDownload(device);
        };
        return std::unique_ptr<RunningWorker>(
            std::make_unique<CycleWorker>(device, view, signals, resources, std::move(hooks)));
    };
    return services;
}

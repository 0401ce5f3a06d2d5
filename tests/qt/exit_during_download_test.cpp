// Closing the program while the worker downloads the database: the update
// cycle runs with the program's own services against a virtual Orvo and an
// update server that holds its answer, and the UI thread (the test thread)
// stops the worker as the main view does when the window goes.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "qt/production_services.h"
#include "qt/updater_services.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_protocol.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"
#include "support/transport_rig.h"
#include "common/view_port.h"
#include "common/cycle_signals.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "update/simulated_view.h"
#include "update/sleep_guard.h"
#include "update_server.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

using namespace std::chrono_literals;

class ExitDuringDownload : public ::testing::Test {
protected:
    void SetUp() override { bus_.Plug(std::make_shared<VirtualOrvo>()); }

    VirtualUsbBus bus_;
    DfuProtocolEngine engine_{bus_, FastEngineSettings()};
    EngineDfuLibrary library_{engine_};
};

TEST_F(ExitDuringDownload, TheDownloadIsAbortedAndTheWorkerJoinedPromptly) {
    // The server takes the request and then sends nothing for two minutes;
    // the download's own stall limit is 30 s.
    UpdateServerOptions options;
    options.fault = ServerFault::Stall;
    SimUpdateServer server(options);
    ASSERT_TRUE(server.Start());

    ScratchFolder folder("exit_download");
    CDfuDevice device(folder.File("orvo-updater"), library_, bus_);
    SimulatedView view;
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    SharedSettings settings(ProgramFolderLocations(folder.File("")));
    Resources resources;
    UpdaterServices services = ProductionServices(settings, resources);
    services.serverHost = [&server] { return server.HostAndPort(); };
    NoSleepInhibitor noInhibitor;
    services.sleepInhibitor = &noInhibitor;
    ScratchFolder logs("exit_download_log");
    services.logFolder = logs.File("");
    device.AttachSignals(&signals);
    CycleDisplay display(device.Events, bar, box, signals);

    // As the main view starts the worker, whose own clock runs the monitor.
    signals.ShowProgress = 1;
    std::unique_ptr<RunningWorker> worker = services.startWorker(services, device, view, signals);
    ASSERT_TRUE(worker);
    worker->Start();

    // The UI thread's loop: every armed timer ticks, in real time, until the
    // worker has asked the server for the database.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (server.RequestCount() == 0 && std::chrono::steady_clock::now() < deadline) {
        for (const int id : {MonitorTimer, ArrivalTimer, ProgressTimer, RemovalTimer}) {
            if (view.TimerArmed(id))
                services.timerTick(id, device, view, bar, signals);
        }
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(server.RequestCount(), 0u) << "the cycle never reached the download";

    const auto closing = std::chrono::steady_clock::now();
    worker->StopAndJoin();
    const auto took = std::chrono::steady_clock::now() - closing;
    worker.reset();
    device.AttachSignals(nullptr);
    services.releaseDevice(device);

    // Well below the 30 s stall limit: the stop, not the limit, ended it.
    EXPECT_LT(took, 10s);
    // Nothing of the interrupted download is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("tesselDB", 0), std::string::npos) << entry.path();
    server.Stop();
}

}  // namespace

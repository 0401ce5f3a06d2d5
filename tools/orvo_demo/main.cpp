#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QDir>
#include <QTimer>

#include "tool_support/private_folder.h"
#include "qt/application.h"
#include "qt/cycle_keeping.h"
#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "qt/production_services.h"
#include "tool_support/input_file.h"
#include "device/dfu_device.h"
#include "orvo_demo/control_window.h"
#include "demo_support/demo_bench.h"
#include "demo_support/demo_command_line.h"
#include "demo_support/demo_folder.h"
#include "orvo_demo/headless_run.h"
#include "orvo_demo/ui_stall_meter.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "qt/skin_progress_ctrl.h"
#include "qt/window_placement.h"
#include "common/program_folder.h"
#include "common/working_files.h"

// orvo-demo: the updater wired to virtual Orvos and the simulated update
// server in one process, with a small bench window to plug devices in and
// pick faults; or, with --headless, one unattended update cycle.
namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

void SaveScreenshot(CMainFrame* frame, const std::string& path) {
    if (frame == nullptr || path.empty())
        return;
    if (!frame->grab().save(QString::fromStdString(path)))
        std::fprintf(stderr, "orvo-demo: could not save the screenshot to %s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    DemoOptions options;
    if (!ParseDemoOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc), options))
        return 2;
    if (options.help) {
        PrintDemoHelp({"With a display:\n"
                       "the updater's window and a bench window that plugs and unplugs virtual Orvos and picks the next\n"
                       "cycle's fault; it runs in a temporary program folder (the language dialog comes at every start and\n"
                       "no settings persist). Without a display, or with --headless: one unattended cycle.",
                       "on the offscreen platform"});
        return 0;
    }
    if (!options.headless && !HasDisplay())
        options.headless = true;
    if (options.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    auto bench = MakeDemoBenchFor(options);
    if (!bench)
        return 1;
    PrivateTempFolder folder;
    const std::string programPath = MakeDemoProgramFolder(folder, argc > 0 ? argv[0] : "", options.headless);
    if (programPath.empty())
        return 1;

    const FileLocations locations = ProgramFolderLocations(ProgramFolderOf(programPath));
    SharedSettings settings(locations);
    Resources resources;
    UpdaterServices services = ProductionServices(settings, resources);
    services.saveSettings = bench->ArmingFaults(std::move(services.saveSettings));
    services.serverHost = bench->ServerHost();
    // The history and the log of the run stay in its temporary folder.
    CycleKeeping keeping(locations, resources);
    keeping.Wire(services);
    if (options.headless) {
        // Nobody is there to press OK: print the box and go on.
        services.messageBox = [](const std::string& text) {
            std::printf("message box: %s\n", text.c_str());
            std::fflush(stdout);
        };
        // The run's own end (its time-out included) closes the window; with
        // nobody to answer the question, a write under way is stopped.
        services.confirmCloseDuringWrite = [](QWidget*) { return true; };
        // A question is printed and answered No, the answer of nobody there.
        services.askYesNo = [](const std::string& text) {
            std::printf("question: %s\nanswer: No\n", text.c_str());
            std::fflush(stdout);
            return false;
        };
    }

    // Declared before the application: it outlives the worker that publishes to it.
    CycleOutcomeRelay outcomes;
    CDFUpdate_tesselApp app(argc, argv, resources, std::move(services),
                            [&](const std::string&) { return bench->MakeDevice(programPath); });
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();
    QTimer benchPoll;
    QObject::connect(&benchPoll, &QTimer::timeout, [&bench] { bench->Poll(); });
    benchPoll.start(50);

    if (!options.headless) {
        DemoControlWindow control(*bench, QString::fromStdString(options.serial), frame);
        ShowBeside(control, *frame);
        const int result = app.Run();
        SaveScreenshot(frame, options.screenshot);
        return result;
    }

    HeadlessRun run(*bench, resources, options.serial, options.timeoutSeconds * 1000, outcomes);
    app.Device().Events.Subscribe(outcomes);
    run.SetRetry(options.retry);
    run.SetSecond(options.then);
    QObject::connect(&frame->View(), &CDFUpdate_tesselView::statusShown, &run, &HeadlessRun::OnStatus);
    QObject::connect(&app.ProgressBar(), &CSkinProgressCtrl::textChanged, &run, &HeadlessRun::OnBarText);
    int exitCode = HeadlessRun::ExitFailed;
    // From the plug to the verdict; the window's closing is not part of it.
    UiStallMeter stallMeter;
    QObject::connect(&run, &HeadlessRun::finished, frame, [&](int code) {
        stallMeter.Stop();
        exitCode = code;
        SaveScreenshot(frame, options.screenshot);
        frame->close();
    });
    if (!options.shotsFolder.empty()) {
        // After the handler that saw the text: the bar's position follows its text.
        run.SetSnapshot([&](const char* moment) {
            const std::string path = options.shotsFolder + "/" + moment + ".png";
            QTimer::singleShot(0, frame, [frame, path] { SaveScreenshot(frame, path); });
        });
    }
    QTimer::singleShot(0, &run, [&] {
        stallMeter.Start();
        run.Start(QString::fromStdString(app.MainFrame()->View().StatusText().Get()));
    });
    app.Run();
    std::printf("UI thread longest stall: %lld ms\n", stallMeter.LongestStallMs());
    return exitCode;
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include "app/application.h"
#include "app/main_frame.h"
#include "app/main_view.h"
#include "app/production_services.h"
#include "device/dfu_device.h"
#include "orvo_demo/control_window.h"
#include "orvo_demo/demo_bench.h"
#include "orvo_demo/headless_run.h"
#include "ui/shared_settings.h"
#include "ui/widgets/skin_progress_ctrl.h"
#include "update/program_folder.h"
#include "update/working_files.h"

// orvo-demo: the updater wired to virtual Orvos and the simulated update
// server in one process, with a small bench window to plug devices in and
// pick faults; or, with --headless, one unattended update cycle.
namespace {

struct DemoOptions {
    bool headless = false;
    std::string screenshot;
    std::string flash;
    std::string shotsFolder;
    std::string serial = "0012345";
    int timeoutSeconds = 240;
    DemoFault fault = DemoFault::None;
    bool retry = false;
};

bool ParseFault(const std::string& text, DemoFault& fault) {
    static const std::pair<const char*, DemoFault> names[] = {
        {"none", DemoFault::None},
        {"server-down", DemoFault::ServerDown},
        {"html", DemoFault::HtmlAnswer},
        {"device-error", DemoFault::DeviceError},
        {"unplug", DemoFault::UnplugMidWrite},
        {"silent-corruption", DemoFault::SilentCorruption},
        {"junk", DemoFault::JunkAnswer},
        {"busy", DemoFault::BusyForever},
    };
    for (const auto& [name, value] : names) {
        if (text == name) {
            fault = value;
            return true;
        }
    }
    return false;
}

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: orvo-demo [--headless] [--screenshot FILE.png] [--flash FILE] [--serial SSSSSSS]\n"
                 "                 [--timeout SECONDS] [--retry]\n"
                 "                 [--fault none|server-down|html|junk|device-error|unplug|busy|\n"
                 "                          silent-corruption]\n"
                 "  --headless     one unattended cycle on the offscreen platform (chosen by itself\n"
                 "                 without a display); exits 0 when the cycle came back to waiting\n"
                 "  --screenshot   saves the updater's window at the end\n"
                 "  --flash        keeps the virtual Orvo's flash in FILE (as orvo-tool --virtual=FILE)\n"
                 "  --shots DIR    (headless) saves during-write.png and upgrade-successful.png in DIR\n"
                 "  --fault        the fault the headless cycle meets; it then ends non-zero\n"
                 "  --retry        (headless) after a failed cycle the Orvo is unplugged and plugged in\n"
                 "                 again; exits 0 only if that second cycle succeeds\n");
}

// Returns false on a bad command line.
bool ParseOptions(int argc, char** argv, DemoOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--headless")
            options.headless = true;
        else if (arg == "--retry")
            options.retry = true;
        else if (arg == "--screenshot" && hasValue)
            options.screenshot = argv[++i];
        else if (arg == "--shots" && hasValue)
            options.shotsFolder = argv[++i];
        else if (arg == "--flash" && hasValue)
            options.flash = argv[++i];
        else if (arg == "--serial" && hasValue)
            options.serial = argv[++i];
        else if (arg == "--fault" && hasValue) {
            if (!ParseFault(argv[++i], options.fault))
                return false;
        } else if (arg == "--timeout" && hasValue)
            options.timeoutSeconds = std::atoi(argv[++i]);
        else
            return false;
    }
    return options.timeoutSeconds > 0;
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// The demo's working files go to a folder of their own, with the picture and
// the language libraries beside them, so a run never leaves files next to
// the programs.
std::string PrepareProgramFolder(const QTemporaryDir& folder, const std::string& realProgramFolder) {
    namespace fs = std::filesystem;
    const fs::path target(folder.path().toStdString());
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(realProgramFolder.empty() ? "." : realProgramFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == WorkingFile::Picture || name.rfind("Lang_", 0) == 0) {
            std::error_code ignored;
            fs::copy_file(entry.path(), target / name, ignored);
        }
    }
    return (target / "orvo-demo").string();
}

// An unattended run has nobody to answer the first start's language dialog:
// it starts with English settings already saved.
void SeedEnglishSettings(const std::string& programPath) {
    CDfuDevice device(programPath);
    SharedSettings settings;
    settings.SetLanguage(device, 0);
    device.DownloadSizeKb = settings.ComputeDownloadSize(device);
    settings.SaveSettings(device);
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
    if (!ParseOptions(argc, argv, options)) {
        PrintUsage();
        return 2;
    }
    if (!options.headless && !HasDisplay())
        options.headless = true;
    if (options.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    DemoBenchOptions benchOptions;
    // At the real part's speed the window shows each stage; unattended runs
    // go five times faster.
    benchOptions.timing = options.headless ? OrvoTiming::Scaled(0.2) : OrvoTiming::Real();
    auto bench = MakeDemoBench(benchOptions);
    if (!options.flash.empty())
        bench->KeepFlashIn(options.flash);

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "orvo-demo: cannot create a working folder\n");
        return 1;
    }
    const std::string realFolder = ProgramFolderOf(ResolveProgramPath(argc > 0 ? argv[0] : ""));
    const std::string programPath = PrepareProgramFolder(folder, realFolder);
    if (options.headless)
        SeedEnglishSettings(programPath);

    UpdaterServices services = ProductionServices();
    bench->Wire(services);
    if (options.headless) {
        // Nobody is there to press OK: print the box and go on.
        services.messageBox = [](const std::string& text) {
            std::printf("message box: %s\n", text.c_str());
            std::fflush(stdout);
        };
    }

    CDFUpdate_tesselApp app(argc, argv, std::move(services),
                            [&](const std::string&) { return bench->MakeDevice(programPath); });
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();
    QTimer benchPoll;
    QObject::connect(&benchPoll, &QTimer::timeout, [&bench] { bench->Poll(); });
    benchPoll.start(50);

    if (!options.headless) {
        DemoControlWindow control(*bench, frame);
        control.move(frame->pos() + QPoint(frame->frameGeometry().width() + 16, 0));
        control.show();
        const int result = app.Run();
        SaveScreenshot(frame, options.screenshot);
        return result;
    }

    HeadlessRun run(*bench, options.serial, options.timeoutSeconds * 1000);
    run.SetRetry(options.retry);
    QObject::connect(&frame->View(), &CDFUpdate_tesselView::statusShown, &run, &HeadlessRun::OnStatus);
    QObject::connect(&app.ProgressBar(), &CSkinProgressCtrl::textChanged, &run, &HeadlessRun::OnBarText);
    int exitCode = HeadlessRun::ExitFailed;
    QObject::connect(&run, &HeadlessRun::finished, frame, [&](int code) {
        exitCode = code;
        SaveScreenshot(frame, options.screenshot);
        frame->close();
    });
    bench->SetNextFault(options.fault);
    if (!options.shotsFolder.empty()) {
        // After the handler that saw the text: the bar's position follows its text.
        run.SetSnapshot([&](const char* moment) {
            const std::string path = options.shotsFolder + "/" + moment + ".png";
            QTimer::singleShot(0, frame, [frame, path] { SaveScreenshot(frame, path); });
        });
    }
    QTimer::singleShot(0, &run, [&] { run.Start(QString::fromStdString(app.Device().StatusText.Get())); });
    app.Run();
    return exitCode;
}

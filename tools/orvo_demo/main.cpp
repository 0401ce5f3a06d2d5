#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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
#include "orvo_demo/demo_bench.h"
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

struct DemoOptions {
    bool headless = false;
    std::string screenshot;
    std::string flash;
    std::string shotsFolder;
    std::string serial = "0012345";
    int timeoutSeconds = 240;
    bool help = false;
    DemoFault fault = DemoFault::None;
    bool retry = false;
    std::string then;  // a second Orvo's serial
};

bool ParseFault(const std::string& text, DemoFault& fault) {
    for (const DemoFaultOption& option : DemoFaultOptions()) {
        if (text == option.option) {
            fault = option.fault;
            return true;
        }
    }
    return false;
}

std::string FaultList(const char* separator) {
    std::string list;
    for (const DemoFaultOption& option : DemoFaultOptions())
        list += (list.empty() ? "" : separator) + std::string(option.option);
    return list;
}

// What a serial must be, for the bench and its window alike.
constexpr std::size_t SerialLength = 7;
bool IsSerial(const std::string& text) {
    return text.size() == SerialLength &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

void PrintHelp() {
    std::printf(
        "usage: orvo-demo [--headless] [--serial SSSSSSS] [--fault FAULT] [--flash FILE] [--timeout SECONDS]\n"
        "                 [--screenshot FILE.png] [--shots DIR] [--retry] [--then SSSSSSS]\n"
        "\n"
        "The updater wired to virtual Orvos and the simulated update server in one process. With a display:\n"
        "the updater's window and a bench window that plugs and unplugs virtual Orvos and picks the next\n"
        "cycle's fault; it runs in a temporary program folder (the language dialog comes at every start and\n"
        "no settings persist). Without a display, or with --headless: one unattended cycle.\n"
        "\n"
        "options:\n"
        "  --headless           one unattended cycle on the offscreen platform: plugs in the virtual Orvo,\n"
        "                       prints every status and progress-bar text, unplugs it after the success\n"
        "                       text and exits 0 once the cycle is back at waiting; the last line,\n"
        "                       'UI thread longest stall: N ms', is the longest the window went without\n"
        "                       serving its events\n"
        "  --serial SSSSSSS     the virtual Orvo's serial: %zu letters or digits (default 0012345);\n"
        "                       windowed: the bench window's serial field\n"
        "  --fault FAULT        the fault the (first) cycle meets, one of:\n"
        "                       %s (default none);\n"
        "                       headless: the run then ends non-zero (slow-usb only slows the Orvo's\n"
        "                       descriptor reads: the cycle succeeds); windowed: the bench's choice\n"
        "  --flash FILE         keeps the virtual Orvo's flash in FILE (as orvo-tool --virtual=FILE)\n"
        "  --timeout SECONDS    (headless) ends the run with exit code 1 after SECONDS (default 240),\n"
        "                       in any state: a write under way is stopped without asking\n"
        "  --screenshot FILE    saves the updater's window at the end\n"
        "  --shots DIR          (headless) saves during-write.png and upgrade-successful.png in DIR\n"
        "  --retry              (headless) after a failed cycle the Orvo is unplugged and plugged in again;\n"
        "                       the run exits 0 only if that second cycle succeeds\n"
        "  --then SSSSSSS       (headless) after the first Orvo's success a second one with this serial is\n"
        "                       plugged in before the first is pulled; the run exits 0 only when both were\n"
        "                       updated. With --flash FILE its flash is kept in FILE with -SSSSSSS added\n"
        "                       before the extension (flash-7654321.bin)\n"
        "  --help, -h           this help\n"
        "\n"
        "example:\n"
        "  orvo-demo --headless --serial 0012345 --fault device-error --flash flash.bin\n"
        "\n"
        "exit codes: 0 success, 1 the cycle failed, timed out or could not start, 2 wrong command line\n",
        SerialLength, FaultList(", ").c_str());
}

// One line naming what is wrong, and where the help is.
bool Refuse(const std::string& problem) {
    std::fprintf(stderr, "orvo-demo: %s; see 'orvo-demo --help'\n", problem.c_str());
    return false;
}

bool ParseTimeout(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    seconds = std::stoi(text);
    return seconds > 0;
}

// Returns false on a bad command line, after saying what is wrong.
bool ParseOptions(int argc, char** argv, DemoOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless") {
            options.headless = true;
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "help") {
            options.help = true;
            continue;
        }
        if (arg == "--retry") {
            options.retry = true;
            continue;
        }
        static const char* const withValue[] = {"--screenshot", "--shots", "--flash", "--serial", "--fault",
                                                "--timeout",    "--then"};
        if (std::find(std::begin(withValue), std::end(withValue), arg) == std::end(withValue))
            return Refuse("unknown option '" + arg + "'");
        if (i + 1 >= argc)
            return Refuse(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--screenshot")
            options.screenshot = value;
        else if (arg == "--shots")
            options.shotsFolder = value;
        else if (arg == "--flash")
            options.flash = value;
        else if ((arg == "--serial" || arg == "--then") && !IsSerial(value))
            return Refuse(arg + " '" + value + "' is not a serial: a serial is " + std::to_string(SerialLength) +
                          " letters or digits");
        else if (arg == "--serial")
            options.serial = value;
        else if (arg == "--then")
            options.then = value;
        else if (arg == "--fault" && !ParseFault(value, options.fault))
            return Refuse("unknown --fault '" + value + "' (one of " + FaultList(", ") + ")");
        else if (arg == "--timeout" && !ParseTimeout(value, options.timeoutSeconds))
            return Refuse("--timeout needs a whole number of seconds from 1 to 999999");
    }
    if (!options.then.empty() && options.then == options.serial)
        return Refuse("--then needs another serial than the first Orvo's (" + options.serial + ")");
    return true;
}

// Where the second Orvo's flash is kept: FILE with "-SERIAL" before its
// extension.
std::string SecondFlashPath(const std::string& flash, const std::string& serial) {
    const std::filesystem::path path(flash);
    std::filesystem::path second = path;
    second.replace_filename(path.stem().string() + "-" + serial + path.extension().string());
    return second.string();
}

// The bench loads the flash file when the Orvo is plugged in and saves it
// when it leaves: a file it could not load would be overwritten with an
// erased flash, and a FIFO would hold the program.
bool UsableFlashFile(const std::string& path, std::string& error) {
    // Where the flash is kept after the run: refused at the start, not after it.
    if (!CheckRegularFile(path, true, error) || !CheckOutputFile(path, error))
        return false;
    std::error_code missing;
    const auto size = std::filesystem::file_size(path, missing);
    if (!missing && size != kOrvoDataFlashSize) {
        error = path + " is not a flash image (" + std::to_string(size) + " bytes, not " +
                std::to_string(kOrvoDataFlashSize) + ")";
        return false;
    }
    return true;
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// The demo's working files go to a folder of their own, with the picture and
// the language libraries beside them, so a run never leaves files next to
// the programs.
std::string PrepareProgramFolder(const PrivateTempFolder& folder, const std::string& realProgramFolder) {
    namespace fs = std::filesystem;
    const fs::path target(folder.Path());
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
    SharedSettings settings(ProgramFolderLocations(ProgramFolderOf(programPath)));
    settings.SetLanguage(0);
    settings.DownloadSizeKb = settings.ComputeDownloadSize();
    settings.SaveSettings();
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
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (options.help) {
        PrintHelp();
        return 0;
    }
    if (!options.headless && !HasDisplay())
        options.headless = true;
    if (options.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    DemoBenchOptions benchOptions;
    // At the real part's speed the window shows each stage; unattended runs
    // go five times faster.
    benchOptions.timing = options.headless ? OrvoTiming::Scaled(0.2) : OrvoTiming::Real();
    std::string flashError;
    const std::string secondFlash =
        options.flash.empty() || options.then.empty() ? std::string() : SecondFlashPath(options.flash, options.then);
    if ((!options.flash.empty() && !UsableFlashFile(options.flash, flashError)) ||
        (!secondFlash.empty() && !UsableFlashFile(secondFlash, flashError))) {
        std::fprintf(stderr, "orvo-demo: %s\n", flashError.c_str());
        return 1;
    }
    auto bench = MakeDemoBench(benchOptions);
    if (!options.flash.empty())
        bench->KeepFlashIn({}, options.flash);
    if (!secondFlash.empty())
        bench->KeepFlashIn(options.then, secondFlash);
    bench->SetNextFault(options.fault);

    PrivateTempFolder folder;
    std::string folderError;
    if (!folder.Create("orvo-demo", folderError)) {
        std::fprintf(stderr, "orvo-demo: %s\n", folderError.c_str());
        return 1;
    }
    const std::string realFolder = ProgramFolderOf(ResolveProgramPath(argc > 0 ? argv[0] : ""));
    const std::string programPath = PrepareProgramFolder(folder, realFolder);
    if (options.headless)
        SeedEnglishSettings(programPath);

    const FileLocations locations = ProgramFolderLocations(ProgramFolderOf(programPath));
    SharedSettings settings(locations);
    Resources resources;
    UpdaterServices services = ProductionServices(settings, resources);
    bench->Wire(services);
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
        run.Start(QString::fromStdString(app.Device().StatusText.Get()));
    });
    app.Run();
    std::printf("UI thread longest stall: %lld ms\n", stallMeter.LongestStallMs());
    return exitCode;
}

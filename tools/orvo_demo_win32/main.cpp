// orvo-demo.exe: the updater's Win32 window wired to virtual Orvos and the
// simulated update server in one process, with a bench window to plug them
// in and pick faults; or, with --headless, one unattended cycle with the
// window up.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/program_folder.h"
#include "common/working_files.h"
#include "demo_support/demo_bench.h"
#include "demo_support/demo_command_line.h"
#include "demo_support/demo_folder.h"
#include "demo_support/headless_cycle_run.h"
#include "demo_support/png_picture.h"
#include "device/dfu_device.h"
#include "history/history_store.h"
#include "orvo_demo_win32/bench_window.h"
#include "orvo_demo_win32/ui_queue.h"
#include "orvo_demo_win32/unattended_view_port.h"
#include "tool_support/private_folder.h"
#include "ui/language_library.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "win32/cycle_window.h"
#include "win32/dialog_rules.h"
#include "win32/program_arguments.h"
#include "win32/template_dialog_runner.h"
#include "win32/wide_text.h"
#include "win32/window_picture.h"

namespace {

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool EndsWith(const std::string& text, const char* end) {
    const std::string tail(end);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The window as it is on the screen, frame included: a BMP for a .bmp path,
// otherwise a PNG.
void SaveScreenshot(HWND window, const std::string& path) {
    if (window == nullptr || path.empty())
        return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    const WindowPicture picture = WindowPicture::Capture(window, true);
    bool saved = false;
    if (EndsWith(path, ".bmp") || EndsWith(path, ".BMP")) {
        saved = picture.SaveBmp(path);
    } else if (!picture.Empty()) {
        std::vector<Colour> pixels;
        pixels.reserve(static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height()));
        for (int y = 0; y < picture.Height(); ++y)
            for (int x = 0; x < picture.Width(); ++x)
                pixels.push_back(picture.Pixel(x, y));
        const std::string png = EncodePng(picture.Width(), picture.Height(), pixels);
        saved = !png.empty() && WriteWholeFile(path, png.data(), png.size()) == 0;
    }
    if (!saved)
        std::fprintf(stderr, "orvo-demo: could not save the screenshot to %s\n", path.c_str());
}

constexpr DemoHelpTexts HelpTexts{
    "On Windows: the updater's window and\n"
    "a bench window that plugs and unplugs virtual Orvos and picks the next cycle's fault; it runs in a\n"
    "temporary program folder (the language dialog comes at every start and no settings persist). With\n"
    "--headless: one unattended cycle.",
    "with the window up, nobody answering"};

}  // namespace

int main() {
    const std::vector<std::string> arguments = ProgramArguments();
    DemoOptions options;
    if (!ParseDemoOptions(std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end()),
                          options))
        return 2;
    if (options.help) {
        PrintDemoHelp(HelpTexts);
        return 0;
    }

    const std::unique_ptr<DemoBench> bench = MakeDemoBenchFor(options);
    if (!bench)
        return 1;
    PrivateTempFolder folder;
    const std::string programPath = MakeDemoProgramFolder(folder, arguments.empty() ? "" : arguments.front(), options.headless);
    if (programPath.empty())
        return 1;

    const std::unique_ptr<CDfuDevice> device = bench->MakeDevice(programPath);
    // The history and the log of the run stay in its temporary folder.
    const FileLocations locations = ProgramFolderLocations(ProgramFolderOf(programPath));
    SharedSettings settings(locations);
    Resources resources;
    settings.LoadSettings([&] {
        RunLanguageDialog(nullptr, resources, settings.LanguageIndex, SettingsLanguageChoice(settings, resources));
    });
    LoadLanguageLibrary(settings, resources);

    const auto report = [](const std::string& text) { std::fprintf(stderr, "orvo-demo: %s\n", text.c_str()); };
    HistoryStore history(locations.historyFile, report);

    UiQueue queue;
    BenchWindow benchWindow(*bench, options.serial);
    // Every few ticks: takes Orvos that pulled themselves out off the bus.
    int ticks = 0;
    queue.OnTick([&] {
        if (++ticks % 5 != 0)
            return;
        bench->Poll();
        benchWindow.Refresh();
    });
    // Declared before the window: it outlives the worker that publishes to it.
    CycleOutcomeRelay outcomes;

    CycleWindowParts parts(*device, settings, resources);
    parts.history = &history;
    parts.picturePath = FindResourceFile(device->ResourceFolders, WorkingFile::Picture);
    parts.logFolder = locations.logFolder.empty() ? device->ProgramFolder : locations.logFolder;
    parts.saveSettings = bench->ArmingFaults(SaveSettingsHook(settings));
    parts.serverHost = bench->ServerHost();

    int exitCode = HeadlessCycleRun::ExitFailed;
    std::unique_ptr<CycleWindow> window;
    HeadlessRunHost host;
    host.later = [&queue](int delayMs, std::function<void()> call) { queue.Later(delayMs, std::move(call)); };
    host.finished = [&](int code) {
        queue.StopStallMeter();
        exitCode = code;
        SaveScreenshot(window->Frame().Window(), options.screenshot);
        // Not a close: that would ask whether to stop a write under way, and
        // nobody is there to answer.
        window->Shutdown();
        DestroyWindow(window->Frame().Window());
    };
    if (!options.shotsFolder.empty()) {
        // At once: the bar goes on moving while a posted call waits its turn.
        host.snapshot = [&](const char* moment) {
            SaveScreenshot(window->Frame().Window(), options.shotsFolder + "/" + moment + ".png");
        };
    }
    HeadlessCycleRun run(*bench, resources, options.serial, std::move(host));
    run.SetRetry(options.retry);
    run.SetSecond(options.then);

    if (options.headless) {
        parts.listeners.push_back(&outcomes);
        outcomes.Attach([&] {
            queue.Post([&] {
                for (const CycleOutcomeRelay::News& news : outcomes.Take())
                    run.OnNews(news);
            });
        });
        // What the window shows, in the order it shows it.
        parts.viewPort = [&](std::unique_ptr<ViewPort> windowPort) -> std::unique_ptr<ViewPort> {
            return std::make_unique<UnattendedViewPort>(
                std::move(windowPort), [&queue](std::string line) { queue.Post([line] { PrintLine(line); }); },
                [&] {
                    queue.Post([&run, text = window->StatusText().Get()] { run.OnStatus(text); });
                });
        };
    }
    window = std::make_unique<CycleWindow>(std::move(parts));
    if (options.headless)
        window->Bar().WatchText([&](const std::string& text) { queue.Post([&run, text] { run.OnBarText(text); }); });

    std::string error;
    if (!window->Start(SW_SHOWNORMAL, error)) {
        window->Shutdown();
        std::fprintf(stderr, "orvo-demo: %s\n", error.c_str());
        return 1;
    }
    if (options.headless) {
        // The title as the window has it, for whoever checks the run.
        wchar_t title[256] = {};
        GetWindowTextW(window->Frame().Window(), title, static_cast<int>(std::size(title)));
        PrintLine("window: " + Narrow(title));
        queue.Later(options.timeoutSeconds * 1000, [&run] { run.TimedOut(); });
        queue.Post([&] {
            queue.StartStallMeter();
            run.Start(window->StatusText().Get());
        });
    } else {
        if (!options.screenshot.empty())
            std::fprintf(stderr, "orvo-demo: --screenshot is for --headless runs here; the window is not saved\n");
        benchWindow.Create(window->Frame().Window());
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (queue.Handle(message) || benchWindow.TakesMessage(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    window->Shutdown();
    outcomes.Attach({});
    if (!options.headless)
        return 0;
    std::printf("UI thread longest stall: %lld ms\n", queue.LongestStallMs());
    return exitCode;
}

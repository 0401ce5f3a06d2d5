// orvo-updater.exe: the updater's window on Windows. Options: --help,
// --version; anything else is refused.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/instance_lock.h"
#include "common/program_folder.h"
#include "common/version.h"
#include "common/working_files.h"
#include "device/dfu_device.h"
#include "history/history_store.h"
#include "ui/language_library.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "win32/cycle_window.h"
#include "win32/dialog_rules.h"
#include "win32/message_boxes.h"
#include "win32/program_arguments.h"
#include "win32/template_dialog_runner.h"
#include "win32/wide_text.h"

namespace {

constexpr const char* ProgramName = "orvo-updater";

// A window program has no console of its own: what it prints goes to the
// console it was started from, when there is one.
void UseStartingConsole() {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

// A second updater on the same data folder would share the settings file,
// the working files and the Orvo: the first one's window comes to the front.
bool RaiseRunningWindow() {
    const HWND running = FindWindowW(MainFrame::ClassName, nullptr);
    if (running == nullptr)
        return false;
    if (IsIconic(running))
        ShowWindow(running, SW_RESTORE);
    // Its open dialog, if any, rather than the frame behind it.
    const HWND popup = GetLastActivePopup(running);
    SetForegroundWindow(popup != nullptr ? popup : running);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    const std::vector<std::string> arguments = ProgramArguments();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        UseStartingConsole();
        if (arguments[i] == "--version") {
            std::printf("%s %s\n", ProgramName, OrvoVersion);
            return 0;
        }
        if (arguments[i] == "--help" || arguments[i] == "-h") {
            std::printf("Usage: %s [--help] [--version]\nKeeps the Orvo's camera database up to date.\n", ProgramName);
            return 0;
        }
        std::fprintf(stderr, "%s: unknown option '%s' (see --help)\n", ProgramName, arguments[i].c_str());
        return 2;
    }

    const std::string programPath = ResolveProgramPath(arguments.empty() ? std::string() : arguments.front());
    const FileLocations locations = ResolveFileLocations(ProgramFolderOf(programPath), {});
    CDfuDevice device(locations);
    SharedSettings settings(locations);
    Resources resources;

    InstanceLock lock;
    std::string lockError;
    if (lock.Acquire(InstanceLockPath(device.ProgramFolder), lockError) == InstanceLock::Result::HeldElsewhere) {
        RaiseRunningWindow();
        return 0;
    }

    // On a first start the language comes before any main window.
    settings.LoadSettings([&] {
        RunLanguageDialog(nullptr, resources, settings.LanguageIndex, SettingsLanguageChoice(settings, resources));
    });
    LoadLanguageLibrary(settings, resources);

    // A history that cannot be used never stops an update.
    const auto report = [](const std::string& text) { std::fprintf(stderr, "%s: %s\n", ProgramName, text.c_str()); };
    HistoryStore history(locations.historyFile, report);

    CycleWindowParts parts(device, settings, resources);
    parts.history = &history;
    parts.picturePath = FindResourceFile(device.ResourceFolders, WorkingFile::Picture);
    parts.logFolder = locations.logFolder.empty() ? device.ProgramFolder : locations.logFolder;
    CycleWindow window(std::move(parts));
    std::string error;
    if (!window.Start(showCommand, error)) {
        window.Shutdown();
        ShowNotice(nullptr, error, resources.String(ResourceId::AppTitle), true);
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    window.Shutdown();
    return 0;
}

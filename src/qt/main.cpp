#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtGlobal>

#include "qt/application.h"
#include "qt/command_line.h"
#include "qt/cycle_keeping.h"
#include "qt/main_frame.h"
#include "qt/production_services.h"
#include "qt/single_instance.h"
#include "device/dfu_device.h"
#include "history/cycle_log.h"
#include "ui/language_library.h"
#include "ui/language_table.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "common/instance_lock.h"
#include "common/program_folder.h"
#include "common/working_files.h"

// orvo-updater: the updater itself. Its options are listed by --help; options
// that need no window are answered before the toolkit looks for a display.

namespace {

// Where an installation put the read-only resources, set by the build:
// relative to the program's own folder first, so that an unpacked or moved
// tree finds its own, then the absolute installed folders.
std::vector<std::string> InstalledResourceFolders(const std::string& programFolder) {
    std::vector<std::string> folders;
    const auto add = [&folders](const std::filesystem::path& folder) {
        folders.push_back((folder.lexically_normal() / "").string());
    };
#if defined(ORVO_RELATIVE_LIBRARY_DIR) && defined(ORVO_RELATIVE_DATA_DIR)
    if (!programFolder.empty() && programFolder.front() == '/') {
        add(std::filesystem::path(programFolder) / ORVO_RELATIVE_LIBRARY_DIR);
        add(std::filesystem::path(programFolder) / ORVO_RELATIVE_DATA_DIR);
    }
#endif
#if defined(ORVO_INSTALLED_LIBRARY_DIR) && defined(ORVO_INSTALLED_DATA_DIR)
    add(ORVO_INSTALLED_LIBRARY_DIR);
    add(ORVO_INSTALLED_DATA_DIR);
#endif
    (void)add;
    (void)programFolder;
    return folders;
}

FileLocations InstalledLocations(const std::string& programPath, bool createDataFolder) {
    const std::string programFolder = ProgramFolderOf(programPath);
#ifdef ORVO_INSTALLED_PROGRAM_DIR
    const std::string installedProgramFolder = ORVO_INSTALLED_PROGRAM_DIR;
#else
    const std::string installedProgramFolder;
#endif
    return ResolveFileLocations(programFolder, InstalledResourceFolders(programFolder), installedProgramFolder,
                                createDataFolder);
}

std::unique_ptr<CDfuDevice> MakeInstalledDevice(const std::string& programPath) {
    return std::make_unique<CDfuDevice>(InstalledLocations(programPath, true));
}

std::string FoundOrMissing(const std::string& path) { return path.empty() ? "(not found)" : path; }

// Reads the settings without asking anything, loads the language they name
// and says where everything is; creates nothing.
int PrintLocations(const std::string& programPath) {
    const FileLocations locations = InstalledLocations(programPath, false);
    const auto device = std::make_unique<CDfuDevice>(locations);
    SharedSettings settings(locations);
    Resources resources;
    settings.LoadSettings([] {});
    LoadLanguageLibrary(settings, resources);

    std::vector<std::pair<std::string, std::string>> rows = {
        {"settings file", settings.SettingsPath()},
        {"working files", device->ProgramFolder.empty() ? "./" : device->ProgramFolder},
        {"lock file", InstanceLockPath(device->ProgramFolder)},
        {"history file", locations.historyFile},
        {"log", (locations.logFolder.empty() ? "./" : "") + locations.logFolder + CycleLog::FileName},
        {"picture", FoundOrMissing(FindResourceFile(device->ResourceFolders, WorkingFile::Picture))},
    };
    for (const LanguageInfo& language : Languages) {
        if (language.libraryFile != nullptr)
            rows.emplace_back(language.name,
                              FoundOrMissing(FindResourceFile(device->ResourceFolders, language.libraryFile)));
    }
    const auto* library = dynamic_cast<const LanguageLibrary*>(resources.InForce().get());
    rows.emplace_back("language", LanguageNameOfIndex(settings.LanguageIndex.load()) + ", " +
                                      (library != nullptr ? library->Path() : std::string("built in")));
    std::fputs(LocationLines(rows).c_str(), stdout);
    return 0;
}

// The toolkit ends the process with abort() when it cannot open a display,
// after a few lines of its own. While the application object is built its
// messages are held back: a fatal one ends the process with one line naming
// the first cause and an ordinary failure; otherwise they are shown after.
std::vector<std::string>& HeldToolkitMessages() {
    static std::vector<std::string> messages;
    return messages;
}

void HoldToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string text = message.section(QLatin1Char('\n'), 0, 0).toStdString();
    if (type == QtFatalMsg) {
        const auto& held = HeldToolkitMessages();
        std::fprintf(stderr, "orvo-updater: cannot start the window: %s\n",
                     held.empty() ? text.c_str() : held.front().c_str());
        std::_Exit(1);
    }
    HeldToolkitMessages().push_back(message.toStdString());
}

void ShowHeldToolkitMessages() {
    for (const std::string& message : HeldToolkitMessages())
        std::fprintf(stderr, "%s\n", message.c_str());
    HeldToolkitMessages().clear();
}

// The exit code when another updater runs for the same data folder, -1 when
// this one goes on.
int ClaimDataFolder(SingleInstance& instance, const std::string& programName) {
    const SingleInstance::Claim claim = instance.ClaimFolder();
    switch (claim) {
    case SingleInstance::Claim::Raised:
        std::printf("%s: already running (it holds %s); its window has been brought to the front\n",
                    programName.c_str(), instance.LockPath().c_str());
        return SingleInstance::ExitRaised;
    case SingleInstance::Claim::NotReachable:
        std::fprintf(stderr, "%s: already running (it holds %s), but it did not answer the request to show its window\n",
                     programName.c_str(), instance.LockPath().c_str());
        return SingleInstance::ExitNotReachable;
    case SingleInstance::Claim::Blocked: {
        // Running anyway would let a second updater share this data folder.
        const std::string text = "The Orvo Updater cannot start: " + instance.Error() +
                                 ". Remove it, then start the updater again.";
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), text.c_str());
        // Said in a box too: started from a menu, nobody reads stderr (not on
        // the offscreen platform, where no one could close the box).
        if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
            QMessageBox::critical(nullptr, QStringLiteral("Orvo Updater"), QString::fromStdString(text));
        return SingleInstance::ExitBlocked;
    }
    case SingleInstance::Claim::First:
    case SingleInstance::Claim::Unchecked: break;
    }
    if (!instance.Error().empty())
        std::fprintf(stderr, "%s: cannot make sure that no other updater runs: %s\n", programName.c_str(),
                     instance.Error().c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const CommandLine options = ParseCommandLine(arguments);
    const std::string programName = "orvo-updater";
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s: %s (see --help)\n", programName.c_str(), options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText(programName).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", VersionText().c_str());
        return 0;
    }
    const std::string programPath = ResolveProgramPath(argc > 0 ? argv[0] : "");
    if (options.locations)
        return PrintLocations(programPath);
    if (!DisplayLikelyAvailable(arguments, std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                std::getenv("WAYLAND_DISPLAY"))) {
        std::fprintf(stderr, "%s: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                     programName.c_str());
        return 1;
    }

    // The program's settings and resources in force, alive until after the
    // application object (and with it the worker) has ended.
    const FileLocations locations = InstalledLocations(programPath, true);
    SharedSettings settings(locations);
    Resources resources;
    UpdaterServices services = ProductionServices(settings, resources);
    // The history and the log outlive the window, and with it the worker.
    CycleKeeping keeping(locations, resources);
    keeping.Wire(services);
    if (options.firstStartLanguage) {
        // The option answers the first-start question in place of the dialog.
        const int languageIndex = *options.firstStartLanguage;
        services.loadSettings = [languageIndex, &settings, &resources] {
            settings.LoadSettings([&] { ApplyLanguage(settings, resources, languageIndex); });
        };
    }

    const QtMessageHandler previousHandler = qInstallMessageHandler(&HoldToolkitMessage);
    CDFUpdate_tesselApp app(argc, argv, resources, std::move(services), &MakeInstalledDevice);
    qInstallMessageHandler(previousHandler);
    ShowHeldToolkitMessages();
    // Before the settings are read: a second updater on the same data folder
    // would share the settings file, the working files and the Orvo.
    SingleInstance instance(app.Device().ProgramFolder);
    if (const int exitCode = ClaimDataFolder(instance, programName); exitCode >= 0)
        return exitCode;
    if (!app.InitInstance())
        return 1;
    if (options.quitAfterStart)
        QTimer::singleShot(0, [&app] { app.MainFrame()->close(); });
    return app.Run();
}

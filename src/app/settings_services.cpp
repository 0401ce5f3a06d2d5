#include "app/settings_services.h"

#include "app/updater_services.h"
#include "ui/language_library.h"
#include "ui/shared_settings.h"
#include "ui/widgets/download_setting_dialog.h"
#include "ui/widgets/language_dialog.h"

void WireSettingsAndLanguages(UpdaterServices& services, SharedSettings& settings) {
    SharedSettings* shared = &settings;
    services.loadSettings = [shared](CDfuDevice& device) {
        // On a first start this dialog comes before any main window exists.
        shared->LoadSettings(device, [shared, &device] { RunLanguageDialog(nullptr, *shared, device); });
    };
    services.loadLanguageLibrary = [shared](CDfuDevice& device) { LoadLanguageLibrary(*shared, device); };
    services.loadRegionSelection = [shared](CDfuDevice& device) { shared->LoadRegionSelection(device); };
    services.computeDownloadSize = [shared](CDfuDevice& device) { return shared->ComputeDownloadSize(device); };
    services.runLanguageDialog = [shared](QWidget* parent, CDfuDevice& device) {
        RunLanguageDialog(parent, *shared, device);
    };
    services.runDownloadSelectionDialog = [shared](QWidget* parent, CDfuDevice& device) {
        RunDownloadSelectionDialog(parent, *shared, device);
    };
}

#include "qt/settings_services.h"

#include "qt/updater_services.h"
#include "ui/language_library.h"
#include "ui/shared_settings.h"
#include "qt/download_setting_dialog.h"
#include "qt/language_dialog.h"

void WireSettingsAndLanguages(UpdaterServices& services, SharedSettings& settings, Resources& resources) {
    SharedSettings* shared = &settings;
    Resources* texts = &resources;
    services.loadSettings = [shared, texts](CDfuDevice& device) {
        // On a first start this dialog comes before any main window exists.
        shared->LoadSettings(device,
                             [shared, texts, &device] { RunLanguageDialog(nullptr, *shared, *texts, device); });
    };
    services.loadLanguageLibrary = [shared, texts](CDfuDevice& device) {
        LoadLanguageLibrary(*shared, *texts, device);
    };
    services.loadRegionSelection = [shared](CDfuDevice& device) { shared->LoadRegionSelection(device); };
    services.computeDownloadSize = [shared](CDfuDevice& device) { return shared->ComputeDownloadSize(device); };
    services.runLanguageDialog = [shared, texts](QWidget* parent, CDfuDevice& device) {
        RunLanguageDialog(parent, *shared, *texts, device);
    };
    services.runDownloadSelectionDialog = [shared, texts](QWidget* parent, CDfuDevice& device) {
        RunDownloadSelectionDialog(parent, *shared, *texts, device);
    };
}

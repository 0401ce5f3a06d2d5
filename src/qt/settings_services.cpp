#include "qt/settings_services.h"

#include "qt/updater_services.h"
#include "ui/language_library.h"
#include "ui/shared_settings.h"
#include "qt/download_setting_dialog.h"
#include "qt/language_dialog.h"

void WireSettingsAndLanguages(UpdaterServices& services, SharedSettings& settings, Resources& resources) {
    SharedSettings* shared = &settings;
    Resources* texts = &resources;
    services.loadSettings = [shared, texts] {
        // On a first start this dialog comes before any main window exists.
        shared->LoadSettings([shared, texts] { RunLanguageDialog(nullptr, *shared, *texts); });
    };
    services.loadLanguageLibrary = [shared, texts] { LoadLanguageLibrary(*shared, *texts); };
    services.downloadSizeKb = [shared] { return shared->DownloadSizeKb.load(); };
    services.loadRegionSelection = [shared] { shared->LoadRegionSelection(); };
    services.computeDownloadSize = [shared] { shared->DownloadSizeKb = shared->ComputeDownloadSize(); };
    services.runLanguageDialog = [shared, texts](QWidget* parent) { RunLanguageDialog(parent, *shared, *texts); };
    services.runDownloadSelectionDialog = [shared, texts](QWidget* parent) {
        RunDownloadSelectionDialog(parent, *shared, *texts);
    };
}

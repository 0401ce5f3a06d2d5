#include "win32/dialog_rules.h"

#include "ui/language_library.h"
#include "ui/shared_settings.h"

DownloadSelectionRules SettingsDownloadSelection(SharedSettings& settings) {
    DownloadSelectionRules rules;
    rules.open = [&settings] {
        settings.ClearRegionSelection();
        settings.LoadRegionSelection();
        settings.DownloadSizeKb = settings.ComputeDownloadSize();
        return settings.RegionSelection();
    };
    rules.click = [&settings](const RegionStates& states) { return settings.ApplyRegionStates(states); };
    rules.accept = [&settings](const RegionStates& states) {
        settings.StoreRegionStates(states);
        settings.SaveSettings();
    };
    rules.sizeKb = [&settings] { return settings.DownloadSizeKb.load(); };
    return rules;
}

std::function<void(int)> SettingsLanguageChoice(SharedSettings& settings, Resources& resources) {
    return [&settings, &resources](int languageIndex) { ApplyLanguage(settings, resources, languageIndex); };
}

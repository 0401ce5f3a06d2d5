#include "win32/dialog_rules.h"

#include "device/dfu_device.h"
#include "ui/language_library.h"
#include "ui/shared_settings.h"

DownloadSelectionRules SettingsDownloadSelection(SharedSettings& settings, CDfuDevice& device) {
    DownloadSelectionRules rules;
    rules.open = [&settings, &device] {
        settings.ClearRegionSelection();
        settings.LoadRegionSelection(device);
        device.DownloadSizeKb = settings.ComputeDownloadSize(device);
        return settings.RegionSelection();
    };
    rules.click = [&settings, &device](const RegionStates& states) {
        return settings.ApplyRegionStates(device, states);
    };
    rules.accept = [&settings, &device](const RegionStates& states) {
        settings.StoreRegionStates(states);
        settings.SaveSettings(device);
    };
    rules.sizeKb = [&device] { return device.DownloadSizeKb.load(); };
    return rules;
}

std::function<void(int)> SettingsLanguageChoice(SharedSettings& settings, Resources& resources, CDfuDevice& device) {
    return [&settings, &resources, &device](int languageIndex) {
        ApplyLanguage(settings, resources, device, languageIndex);
    };
}

#include "ui/shared_settings.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "common/utf8_path.h"
#include "device/dfu_device.h"
#include "ui/settings_file.h"

SharedSettings::SharedSettings() : regionSizes_(DefaultRegionSizes()) {}

std::int32_t SharedSettings::ComputeDownloadSize(CDfuDevice& device) {
    std::lock_guard lock(mutex_);
    return ComputeDownloadSizeLocked(device);
}

std::int32_t SharedSettings::ComputeDownloadSizeLocked(CDfuDevice& device) {
    for (auto& slot : regionSelection_)
        slot %= 2;
    regionSelection_[LockedRegionFor(device.LanguageIndex)] = RegionLocked;
    // Sizes come from an editable file: sum wide and hold the total within
    // range rather than let absurd lines wrap around.
    std::int64_t total = 0;
    for (int slot = 0; slot < RegionSlotCount; ++slot) {
        if (regionSelection_[slot] != RegionNotSelected)
            total += regionSizes_[slot];
    }
    total = std::clamp<std::int64_t>(total, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(total);
}

void SharedSettings::LoadRegionSelection(CDfuDevice& device) {
    std::lock_guard lock(mutex_);
    for (int slot = 0; slot < RegionSlotCount; ++slot) {
        if (device.RegionFragment.find(std::to_string(slot)) != std::string::npos)
            regionSelection_[slot] = RegionSelected;
    }
}

void SharedSettings::SetSaveFailureListener(std::function<void(const std::string& path)> listener) {
    std::lock_guard lock(mutex_);
    saveFailureListener_ = std::move(listener);
}

bool SharedSettings::SaveSettings(CDfuDevice& device) {
    std::function<void(const std::string&)> tell;
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = SettingsPath(device);
        if (SaveSettingsLocked(device, path))
            return true;
        if (saveFailureTold_ || !saveFailureListener_)
            return false;
        saveFailureTold_ = true;
        tell = saveFailureListener_;
    }
    // Outside the lock: the listener may wait for the UI thread, which may be
    // waiting for the lock.
    tell(path);
    return false;
}

bool SharedSettings::SaveSettingsLocked(CDfuDevice& device, const std::string& path) {
    ComputeDownloadSizeLocked(device);
    std::string fragment = "&c=";
    for (int slot = 0; slot < RegionSlotCount; ++slot) {
        if (regionSelection_[slot] != RegionNotSelected)
            fragment += std::to_string(slot) + ",";
    }
    fragment.pop_back();  // the trailing comma; one region is always locked
    device.RegionFragment = fragment;
    // An empty first line would make the reader take the region line for the
    // language and shift every value after it; before any language choice
    // the language in force is the start value's.
    if (device.LanguageFragment.empty())
        device.LanguageFragment = "&o=" + std::to_string(device.LanguageIndex.load());
    return ReplaceSettingsFile(path, FormatSettingsText(device.LanguageFragment, device.RegionFragment,
                                                       device.DownloadSizeKb, regionSizes_));
}

void SharedSettings::LoadSettings(CDfuDevice& device, const std::function<void()>& runLanguageDialog) {
    {
        std::lock_guard lock(mutex_);
        if (ReadSettingsLocked(device))
            return;
    }
    // No lock while the dialog runs: a language choice saves the settings.
    if (runLanguageDialog)
        runLanguageDialog();
    std::lock_guard lock(mutex_);
    ReadSettingsLocked(device);
}

// Settings live in the data folder. A program folder that may not be
// written (a copy on read-only media, an installation) can still carry a
// settings file prepared for its users: it is read while the user has none
// of their own, and the first save writes the user's own file.
std::optional<std::string> SharedSettings::ReadSettingsOrPreset(const CDfuDevice& device) const {
    const std::string own = SettingsPath(device);
    if (auto text = ReadSettingsFile(own))
        return text;
    std::error_code error;
    if (std::filesystem::exists(PathFromUtf8(own), error) || error)
        return std::nullopt;  // there but unreadable: the user's own file, not a preset, is what counts
    for (const std::string& folder : device.ResourceFolders) {
        if (folder == device.ProgramFolder)
            continue;
        if (auto text = ReadSettingsFile(folder + SettingsFileName))
            return text;
    }
    return std::nullopt;
}

bool SharedSettings::ReadSettingsLocked(CDfuDevice& device) {
    const auto text = ReadSettingsOrPreset(device);
    if (!text)
        return false;
    const auto values = ParseSettingsText(*text);
    if (!values)
        return false;
    device.LanguageFragment = values->languageFragment;
    if (values->regionFragment)
        device.RegionFragment = *values->regionFragment;
    if (values->downloadSizeKb)
        device.DownloadSizeKb = *values->downloadSizeKb;
    for (int region = 0; region < RegionCount; ++region) {
        const auto& size = values->regionSizes[region];
        if (size && *size > 0)
            regionSizes_[region] = *size;
    }
    return true;
}

void SharedSettings::SetLanguage(CDfuDevice& device, int languageIndex) {
    std::lock_guard lock(mutex_);
    regionSelection_.fill(RegionNotSelected);
    device.LanguageFragment = "&o=" + std::to_string(languageIndex);
    device.LanguageIndex = languageIndex;
}

int SharedSettings::TakeLanguageIndexFromFragment(CDfuDevice& device) {
    std::lock_guard lock(mutex_);
    const std::string& fragment = device.LanguageFragment;
    const char last = fragment.empty() ? '\0' : fragment.back();
    const int index = last >= '0' && last <= '9' ? last - '0' : 0;
    device.LanguageIndex = index;
    return index;
}

void SharedSettings::ClearRegionSelection() {
    std::lock_guard lock(mutex_);
    regionSelection_.fill(RegionNotSelected);
}

RegionSlots SharedSettings::ApplyRegionStates(CDfuDevice& device,
                                              const std::array<std::int32_t, RegionCount>& states) {
    std::lock_guard lock(mutex_);
    std::copy(states.begin(), states.end(), regionSelection_.begin());
    device.DownloadSizeKb = ComputeDownloadSizeLocked(device);
    return regionSelection_;
}

void SharedSettings::StoreRegionStates(const std::array<std::int32_t, RegionCount>& states) {
    std::lock_guard lock(mutex_);
    std::copy(states.begin(), states.end(), regionSelection_.begin());
}

RegionSlots SharedSettings::RegionSelection() const {
    std::lock_guard lock(mutex_);
    return regionSelection_;
}

RegionSlots SharedSettings::RegionSizes() const {
    std::lock_guard lock(mutex_);
    return regionSizes_;
}

std::string SharedSettings::LanguageFragment(const CDfuDevice& device) const {
    std::lock_guard lock(mutex_);
    return device.LanguageFragment;
}

std::string SharedSettings::RegionFragment(const CDfuDevice& device) const {
    std::lock_guard lock(mutex_);
    return device.RegionFragment;
}

std::string SharedSettings::SettingsPath(const CDfuDevice& device) const {
    return device.ProgramFolder + SettingsFileName;
}

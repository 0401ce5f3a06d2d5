#include "ui/shared_settings.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "common/utf8_path.h"
#include "ui/settings_file.h"

SharedSettings::SharedSettings(const FileLocations& locations)
    : dataFolder_(locations.dataFolder),
      resourceFolders_(locations.resourceFolders),
      regionSizes_(DefaultRegionSizes()) {}

std::int32_t SharedSettings::ComputeDownloadSize() {
    std::lock_guard lock(mutex_);
    return ComputeDownloadSizeLocked();
}

std::int32_t SharedSettings::ComputeDownloadSizeLocked() {
    for (auto& slot : regionSelection_)
        slot %= 2;
    regionSelection_[LockedRegionFor(LanguageIndex)] = RegionLocked;
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

void SharedSettings::LoadRegionSelection() {
    std::lock_guard lock(mutex_);
    for (int slot = 0; slot < RegionSlotCount; ++slot) {
        if (regionFragment_.find(std::to_string(slot)) != std::string::npos)
            regionSelection_[slot] = RegionSelected;
    }
}

void SharedSettings::SetSaveFailureListener(std::function<void(const std::string& path)> listener) {
    std::lock_guard lock(mutex_);
    saveFailureListener_ = std::move(listener);
}

bool SharedSettings::SaveSettings() {
    std::function<void(const std::string&)> tell;
    std::string path;
    {
        std::lock_guard lock(mutex_);
        path = SettingsPath();
        if (SaveSettingsLocked(path))
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

bool SharedSettings::SaveSettingsLocked(const std::string& path) {
    ComputeDownloadSizeLocked();
    std::string fragment = "&c=";
    for (int slot = 0; slot < RegionSlotCount; ++slot) {
        if (regionSelection_[slot] != RegionNotSelected)
            fragment += std::to_string(slot) + ",";
    }
    fragment.pop_back();  // the trailing comma; one region is always locked
    regionFragment_ = fragment;
    // An empty first line would make the reader take the region line for the
    // language and shift every value after it; before any language choice
    // the language in force is the start value's.
    if (languageFragment_.empty())
        languageFragment_ = "&o=" + std::to_string(LanguageIndex.load());
    return ReplaceSettingsFile(path, FormatSettingsText(languageFragment_, regionFragment_,
                                                       DownloadSizeKb, regionSizes_));
}

void SharedSettings::LoadSettings(const std::function<void()>& runLanguageDialog) {
    {
        std::lock_guard lock(mutex_);
        if (ReadSettingsLocked())
            return;
    }
    // No lock while the dialog runs: a language choice saves the settings.
    if (runLanguageDialog)
        runLanguageDialog();
    std::lock_guard lock(mutex_);
    ReadSettingsLocked();
}

// Settings live in the data folder. A program folder that may not be
// written (a copy on read-only media, an installation) can still carry a
// settings file prepared for its users: it is read while the user has none
// of their own, and the first save writes the user's own file.
std::optional<std::string> SharedSettings::ReadSettingsOrPreset() const {
    const std::string own = SettingsPath();
    if (auto text = ReadSettingsFile(own))
        return text;
    std::error_code error;
    if (std::filesystem::exists(PathFromUtf8(own), error) || error)
        return std::nullopt;  // there but unreadable: the user's own file, not a preset, is what counts
    for (const std::string& folder : resourceFolders_) {
        if (folder == dataFolder_)
            continue;
        if (auto text = ReadSettingsFile(folder + SettingsFileName))
            return text;
    }
    return std::nullopt;
}

bool SharedSettings::ReadSettingsLocked() {
    const auto text = ReadSettingsOrPreset();
    if (!text)
        return false;
    const auto values = ParseSettingsText(*text);
    if (!values)
        return false;
    languageFragment_ = values->languageFragment;
    if (values->regionFragment)
        regionFragment_ = *values->regionFragment;
    if (values->downloadSizeKb)
        DownloadSizeKb = *values->downloadSizeKb;
    for (int region = 0; region < RegionCount; ++region) {
        const auto& size = values->regionSizes[region];
        if (size && *size > 0)
            regionSizes_[region] = *size;
    }
    return true;
}

void SharedSettings::SetLanguage(int languageIndex) {
    std::lock_guard lock(mutex_);
    regionSelection_.fill(RegionNotSelected);
    languageFragment_ = "&o=" + std::to_string(languageIndex);
    LanguageIndex = languageIndex;
}

int SharedSettings::TakeLanguageIndexFromFragment() {
    std::lock_guard lock(mutex_);
    const std::string& fragment = languageFragment_;
    const char last = fragment.empty() ? '\0' : fragment.back();
    const int index = last >= '0' && last <= '9' ? last - '0' : 0;
    LanguageIndex = index;
    return index;
}

void SharedSettings::ClearRegionSelection() {
    std::lock_guard lock(mutex_);
    regionSelection_.fill(RegionNotSelected);
}

RegionSlots SharedSettings::ApplyRegionStates(const std::array<std::int32_t, RegionCount>& states) {
    std::lock_guard lock(mutex_);
    std::copy(states.begin(), states.end(), regionSelection_.begin());
    DownloadSizeKb = ComputeDownloadSizeLocked();
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

std::string SharedSettings::LanguageFragment() const {
    std::lock_guard lock(mutex_);
    return languageFragment_;
}

std::string SharedSettings::RegionFragment() const {
    std::lock_guard lock(mutex_);
    return regionFragment_;
}

std::string SharedSettings::SettingsPath() const {
    return dataFolder_ + SettingsFileName;
}

#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/program_folder.h"
#include "ui/region_table.h"

// The download selection and language settings that the dialogs, start-up
// and the update worker share: the language (LanguageIndex,
// LanguageFragment), the regions (RegionSelection, RegionFragment,
// RegionSizes) and the download's size (DownloadSizeKb).
//
// The worker saves the settings before each download while a dialog on the
// UI thread may be saving them too, so every operation runs under one lock
// that guards these values and the settings file alike.
class SharedSettings {
public:
    // The settings file lives in `locations.dataFolder`; a file prepared in
    // one of the other resource folders stands in until the user has one.
    explicit SharedSettings(const FileLocations& locations);

    // Normalises RegionSelection (a third-state or locked slot drops out),
    // locks the language's region and returns the total size in Kb of the
    // selected regions, held within 32 bits. Does not store the total.
    std::int32_t ComputeDownloadSize();

    // Marks every region whose index occurs in RegionFragment; other slots
    // stay as they are.
    void LoadRegionSelection();

    // Rebuilds RegionFragment from the selection and writes the settings file
    // in the data folder (flushed to the disk with its folder). A file that
    // cannot be written is left as it was; the first such failure of the
    // object's life is told to the save-failure listener, with the path.
    // Returns whether the file was written.
    bool SaveSettings();

    // Called, without the lock held and on the saving thread, the first time
    // the settings file cannot be written; later failures say nothing more.
    void SetSaveFailureListener(std::function<void(const std::string& path)> listener);

    // Reads the settings file at start-up. When it is missing or empty,
    // `runLanguageDialog` runs first (its choice saves the file) and the file
    // is read again; still missing or empty, the start values stay.
    void LoadSettings(const std::function<void()>& runLanguageDialog);

    // The language step of a language choice: clears the selection and sets
    // LanguageIndex and LanguageFragment ("&o=<index>").
    void SetLanguage(int languageIndex);

    // LanguageIndex from the last character of LanguageFragment (a non-digit
    // or an empty fragment gives 0); stores and returns it.
    int TakeLanguageIndexFromFragment();

    // For the download selection dialog.
    void ClearRegionSelection();
    // Stores the seven boxes' states in slots 0-6, recomputes the size into
    // DownloadSizeKb and returns the slots as the boxes should now show them.
    RegionSlots ApplyRegionStates(const std::array<std::int32_t, RegionCount>& states);
    // Stores the seven boxes' states in slots 0-6 without recomputing.
    void StoreRegionStates(const std::array<std::int32_t, RegionCount>& states);

    RegionSlots RegionSelection() const;
    RegionSlots RegionSizes() const;
    std::string LanguageFragment() const;
    std::string RegionFragment() const;

    std::string SettingsPath() const;
    // Where the language libraries are looked for, in order.
    const std::vector<std::string>& ResourceFolders() const { return resourceFolders_; }

    // The language in force (an index of the language table) and the size in
    // Kb that paces the download's animation, read by other threads.
    std::atomic<std::int32_t> LanguageIndex{0};
    std::atomic<std::int32_t> DownloadSizeKb{0};

private:
    std::int32_t ComputeDownloadSizeLocked();
    bool SaveSettingsLocked(const std::string& path);
    // Returns false when the file is missing or has no first value.
    bool ReadSettingsLocked();
    std::optional<std::string> ReadSettingsOrPreset() const;

    const std::string dataFolder_;
    const std::vector<std::string> resourceFolders_;
    mutable std::mutex mutex_;
    std::string languageFragment_;
    std::string regionFragment_;
    std::function<void(const std::string& path)> saveFailureListener_;
    bool saveFailureTold_ = false;
    RegionSlots regionSelection_{};
    RegionSlots regionSizes_;
};

// SaveSettings of `settings` as the update worker's hook takes it.
inline std::function<void()> SaveSettingsHook(SharedSettings& settings) {
    return [&settings] { settings.SaveSettings(); };
}

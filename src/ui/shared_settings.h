#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "ui/region_table.h"

class CDfuDevice;

// The download selection and language settings that the dialogs, start-up
// and the update worker share: RegionSelection and RegionSizes here, the
// language and fragments and DownloadSizeKb on the CDfuDevice passed in.
//
// The worker saves the settings before each download while a dialog on the
// UI thread may be saving them too, so every operation runs under one lock
// that guards these values and the settings file alike.
class SharedSettings {
public:
    SharedSettings();

    // Normalises RegionSelection (a third-state or locked slot drops out),
    // locks the language's region and returns the total size in Kb of the
    // selected regions, held within 32 bits. Does not store the total.
    std::int32_t ComputeDownloadSize(CDfuDevice& device);

    // Marks every region whose index occurs in RegionFragment; other slots
    // stay as they are.
    void LoadRegionSelection(CDfuDevice& device);

    // Rebuilds RegionFragment from the selection and writes the settings file
    // in ProgramFolder (flushed to the disk with its folder). A file that
    // cannot be written is left as it was; the first such failure of the
    // object's life is told to the save-failure listener, with the path.
    // Returns whether the file was written.
    bool SaveSettings(CDfuDevice& device);

    // Called, without the lock held and on the saving thread, the first time
    // the settings file cannot be written; later failures say nothing more.
    void SetSaveFailureListener(std::function<void(const std::string& path)> listener);

    // Reads the settings file at start-up. When it is missing or empty,
    // `runLanguageDialog` runs first (its choice saves the file) and the file
    // is read again; still missing or empty, the start values stay.
    void LoadSettings(CDfuDevice& device, const std::function<void()>& runLanguageDialog);

    // The language step of a language choice: clears the selection and sets
    // LanguageIndex and LanguageFragment ("&o=<index>").
    void SetLanguage(CDfuDevice& device, int languageIndex);

    // LanguageIndex from the last character of LanguageFragment (a non-digit
    // or an empty fragment gives 0); stores and returns it.
    int TakeLanguageIndexFromFragment(CDfuDevice& device);

    // For the download selection dialog.
    void ClearRegionSelection();
    // Stores the seven boxes' states in slots 0-6, recomputes the size into
    // DownloadSizeKb and returns the slots as the boxes should now show them.
    RegionSlots ApplyRegionStates(CDfuDevice& device, const std::array<std::int32_t, RegionCount>& states);
    // Stores the seven boxes' states in slots 0-6 without recomputing.
    void StoreRegionStates(const std::array<std::int32_t, RegionCount>& states);

    RegionSlots RegionSelection() const;
    RegionSlots RegionSizes() const;
    std::string LanguageFragment(const CDfuDevice& device) const;
    std::string RegionFragment(const CDfuDevice& device) const;

    std::string SettingsPath(const CDfuDevice& device) const;

private:
    std::int32_t ComputeDownloadSizeLocked(CDfuDevice& device);
    bool SaveSettingsLocked(CDfuDevice& device, const std::string& path);
    // Returns false when the file is missing or has no first value.
    bool ReadSettingsLocked(CDfuDevice& device);
    std::optional<std::string> ReadSettingsOrPreset(const CDfuDevice& device) const;

    mutable std::mutex mutex_;
    std::function<void(const std::string& path)> saveFailureListener_;
    bool saveFailureTold_ = false;
    RegionSlots regionSelection_{};
    RegionSlots regionSizes_;
};

// SaveSettings of `settings` as the update worker's hook takes it.
inline std::function<void(CDfuDevice&)> SaveSettingsHook(SharedSettings& settings) {
    return [&settings](CDfuDevice& device) { settings.SaveSettings(device); };
}

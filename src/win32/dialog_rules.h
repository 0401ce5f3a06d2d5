#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "ui/region_table.h"

class Resources;
class SharedSettings;

// The seven region boxes' states, in region order, with the slot values
// (0 unticked, 1 ticked, 2 the third state). The platform's three-state
// check box states have the same numbers.
using RegionStates = std::array<std::int32_t, RegionCount>;

// What the download selection dialog asks of the settings, apart from any
// toolkit. A dialog shows `open`'s slots when it starts, hands every click's
// states to `click` and shows the slots it returns, and hands OK's states to
// `accept`; `sizeKb` is the size to show after each of them.
struct DownloadSelectionRules {
    std::function<RegionSlots()> open;
    std::function<RegionSlots(const RegionStates&)> click;
    std::function<void(const RegionStates&)> accept;
    std::function<std::int32_t()> sizeKb;
};

// The same rules the Qt dialog follows, on the shared settings: clicks
// change the selection at once (Cancel keeps them in memory), OK also
// saves the settings file.
DownloadSelectionRules SettingsDownloadSelection(SharedSettings& settings);

// A flag chosen in the language dialog: the language applied and saved.
std::function<void(int languageIndex)> SettingsLanguageChoice(SharedSettings& settings, Resources& resources);

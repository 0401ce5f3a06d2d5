#pragma once

#include <array>
#include <cstdint>

// The regional databases the user can choose, and the language indexes that
// decide which of them is always included.
inline constexpr int RegionSlotCount = 30;  // slots kept per region array; only 0-6 have a region
inline constexpr int RegionCount = 7;

using RegionSlots = std::array<std::int32_t, RegionSlotCount>;

// Values of a RegionSelection slot.
enum RegionMark : std::int32_t {
    RegionNotSelected = 0,
    RegionSelected = 1,
    RegionLocked = 2,  // the language's own region; shown in the third state
};

struct RegionInfo {
    int checkBoxId;
    const char* label;  // English label, as in dialog template 131
    std::int32_t defaultSizeKb;
};

// Indexed by region. The check box ids do not follow region order.
inline constexpr std::array<RegionInfo, RegionCount> Regions{{
    {1000, "UK Cameras, Eire", 320},
    {1001, "UK Schools", 1400},
    {1005, "France, Spain, Portugal, Italy", 100},
    {1002, "Holland, Belgium, Luxembourg", 170},
    {1003, "Germany, Austria, Switzerland", 50},
    {1004, "Finland, Denmark, Sweden, Norway", 20},
    {1006, "South Africa ", 0},
}};

RegionSlots DefaultRegionSizes();

// The region that is always part of the selection for `languageIndex`.
int LockedRegionFor(int languageIndex);

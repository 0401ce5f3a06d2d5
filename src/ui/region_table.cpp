#include "ui/region_table.h"

RegionSlots DefaultRegionSizes() {
    RegionSlots sizes{};
    for (int region = 0; region < RegionCount; ++region)
        sizes[region] = Regions[region].defaultSizeKb;
    return sizes;
}

int LockedRegionFor(int languageIndex) {
    switch (languageIndex) {
    case 1:  // French
    case 5:  // Spanish
        return 2;
    case 2:  // Dutch
        return 3;
    case 3:  // Finnish
    case 4:  // Swedish
        return 5;
    case 8:  // German
        return 4;
    default:  // English, and the indexes without a language of their own
        return 0;
    }
}

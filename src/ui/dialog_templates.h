#pragma once

#include <array>

// Dialog templates 130 (language) and 131 (download selection): ids, control
// kinds and positions in dialog units. Texts are resources of kind
// DialogItem, keyed by template id and control id (0 for the caption).
namespace DialogTemplate {

struct UnitRect {
    int x;
    int y;
    int width;
    int height;
};

inline constexpr int OkButton = 1;
inline constexpr int CancelButton = 2;
inline constexpr int Caption = 0;
inline constexpr int PointSize = 8;  // both templates use 8-point Arial
inline constexpr const char* FontFamily = "Arial";
inline constexpr const char* MetricCompatibleFontFamily = "Liberation Sans";

// --- 130: language
inline constexpr int Language = 130;
inline constexpr UnitRect LanguageSize{0, 0, 229, 232};
inline constexpr UnitRect LanguageOk{179, 201, 6, 6};       // not visible
inline constexpr UnitRect LanguageCancel{216, 219, 6, 6};   // not visible
// In the order of the language table's buttons 1010, 1013 ... 1018.
inline constexpr std::array<UnitRect, 7> FlagButtons{{
    {7, 7, 103, 51}, {119, 7, 103, 51}, {7, 62, 103, 51}, {119, 62, 103, 51},
    {7, 117, 103, 51}, {119, 117, 103, 51}, {7, 172, 103, 51},
}};

// --- 131: download selection
inline constexpr int DownloadSetting = 131;
inline constexpr UnitRect DownloadSettingSize{0, 0, 274, 152};
inline constexpr UnitRect DownloadOk{156, 131, 50, 14};
inline constexpr UnitRect DownloadCancel{217, 131, 50, 14};
inline constexpr int SizeEditBox = 1007;
inline constexpr UnitRect SizeEdit{99, 128, 40, 12};
// The two static texts have no control id of their own; their texts are
// keyed by these item numbers.
inline constexpr int DownloadSizeLabel = -1;
inline constexpr UnitRect DownloadSizeLabelRect{16, 128, 52, 8};
inline constexpr int DownloadNote = -2;
inline constexpr UnitRect DownloadNoteRect{7, 7, 260, 29};
// Indexed by region: the check boxes 1000, 1001, 1005, 1002, 1003, 1004, 1006.
inline constexpr std::array<UnitRect, 7> RegionBoxes{{
    {16, 40, 110, 12},   // 1000
    {137, 40, 110, 12},  // 1001
    {16, 55, 110, 12},   // 1005
    {137, 55, 110, 12},  // 1002
    {16, 70, 110, 12},   // 1003
    {137, 67, 110, 19},  // 1004, multi-line
    {16, 85, 110, 12},   // 1006
}};
inline constexpr int MultiLineRegion = 5;

}  // namespace DialogTemplate

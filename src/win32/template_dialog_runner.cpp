#include "win32/template_dialog_runner.h"

#include <uxtheme.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/language_table.h"
#include "ui/resources.h"
#include "win32/gdi_objects.h"
#include "win32/template_dialogs.h"
#include "win32/wide_text.h"

// Static texts, check boxes and the read-only size alike.
INT_PTR WhiteTextOnBlack(UINT message, WPARAM wParam) {
    if (message != WM_CTLCOLORDLG && message != WM_CTLCOLORSTATIC)
        return FALSE;
    const auto dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));
}

INT_PTR RunDialogTemplate(HWND owner, const DialogBytes::Dialog& dialog, DLGPROC procedure, void* state) {
    const std::vector<std::uint8_t> bytes = DialogBytes::Write(dialog);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                   procedure, reinterpret_cast<LPARAM>(state));
}

namespace {

template <typename State>
State* StateOf(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// --- language

// A BMP file's bytes as a bitmap no larger than `room`, and no larger than
// the picture's own size at the dialog's scale.
HBITMAP FlagFitting(HWND button, const std::string& bmp, SIZE room) {
    if (bmp.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))
        return nullptr;
    BITMAPFILEHEADER file{};
    std::copy_n(bmp.data(), sizeof file, reinterpret_cast<char*>(&file));
    BITMAPINFOHEADER header{};
    std::copy_n(bmp.data() + sizeof file, sizeof header, reinterpret_cast<char*>(&header));
    if (file.bfType != 0x4D42 || file.bfOffBits >= bmp.size() || header.biWidth <= 0 || header.biHeight == 0)
        return nullptr;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bmp.data() + sizeof file);
    const void* bits = bmp.data() + file.bfOffBits;
    // Enough bytes for every row the header promises, or the picture is not used.
    const long long rowBytes = ((static_cast<long long>(header.biWidth) * header.biBitCount + 31) / 32) * 4;
    const long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
    if (header.biCompression != BI_RGB || rowBytes * height > static_cast<long long>(bmp.size() - file.bfOffBits))
        return nullptr;

    const UINT dpi = DpiOf(button);
    const int naturalWidth = Scaled(header.biWidth, dpi);
    const int naturalHeight = Scaled(static_cast<int>(height), dpi);
    const double scale = std::min({1.0, static_cast<double>(room.cx) / naturalWidth,
                                   static_cast<double>(room.cy) / naturalHeight});
    const int width = std::max(1, static_cast<int>(naturalWidth * scale));
    const int tall = std::max(1, static_cast<int>(naturalHeight * scale));

    const HDC screen = GetDC(button);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP flag = CreateCompatibleBitmap(screen, width, tall);
    const HGDIOBJ previous = SelectObject(memory, flag);
    SetStretchBltMode(memory, HALFTONE);
    SetBrushOrgEx(memory, 0, 0, nullptr);
    StretchDIBits(memory, 0, 0, width, tall, 0, 0, header.biWidth, static_cast<int>(height), bits, info,
                  DIB_RGB_COLORS, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(button, screen);
    return flag;
}

struct LanguageState {
    const Resources& resources;
    int languageInForce;
    const std::function<void(int)>& choose;
    std::array<HBITMAP, Languages.size()> flags{};
};

std::size_t PositionOf(int languageIndex) {
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        if (Languages[i].languageIndex == languageIndex)
            return i;
    }
    return 0;  // an index without a flag means English
}

INT_PTR CALLBACK LanguageProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = StateOf<LanguageState>(dialog, message, lParam);
    if (state == nullptr)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        for (std::size_t i = 0; i < Languages.size(); ++i) {
            const HWND button = GetDlgItem(dialog, Languages[i].buttonId);
            RECT place{};
            GetClientRect(button, &place);
            const int frame = Scaled(4, DpiOf(button));
            // A picture that does not load leaves its button blank.
            state->flags[i] =
                FlagFitting(button, state->resources.Text(ResourceKind::Bitmap, Languages[i].bitmapId),
                            SIZE{place.right - 2 * frame, place.bottom - 2 * frame});
            if (state->flags[i] != nullptr)
                SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state->flags[i]));
        }
        SetFocus(GetDlgItem(dialog, Languages[PositionOf(state->languageInForce)].buttonId));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        // Enter with the hidden OK as default: the focused flag is the choice.
        int chosen = id;
        if (id == IDOK)
            chosen = GetDlgCtrlID(GetFocus());
        for (const LanguageInfo& language : Languages) {
            if (language.buttonId == chosen) {
                state->choose(language.languageIndex);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
        }
        return TRUE;
    }
    case WM_DESTROY:
        for (HBITMAP& flag : state->flags) {
            if (flag != nullptr)
                DeleteObject(flag);
            flag = nullptr;
        }
        return FALSE;
    default:
        return WhiteTextOnBlack(message, wParam);
    }
}

// --- download selection

struct DownloadState {
    const Resources& resources;
    const DownloadSelectionRules& rules;
};

void ShowSlots(HWND dialog, const RegionSlots& slots) {
    for (int region = 0; region < RegionCount; ++region) {
        const std::int32_t slot = slots[static_cast<std::size_t>(region)];
        // Anything but the three known values shows unticked.
        const WPARAM check = slot == RegionSelected ? BST_CHECKED : slot == RegionLocked ? BST_INDETERMINATE
                                                                                          : BST_UNCHECKED;
        CheckDlgButton(dialog, Regions[static_cast<std::size_t>(region)].checkBoxId, static_cast<UINT>(check));
    }
}

RegionStates ReadBoxes(HWND dialog) {
    RegionStates states{};
    for (int region = 0; region < RegionCount; ++region) {
        const UINT check = IsDlgButtonChecked(dialog, Regions[static_cast<std::size_t>(region)].checkBoxId);
        states[static_cast<std::size_t>(region)] = check == BST_CHECKED         ? RegionSelected
                                                   : check == BST_INDETERMINATE ? RegionLocked
                                                                                : RegionNotSelected;
    }
    return states;
}

void ShowSize(HWND dialog, std::int32_t sizeKb) {
    SetDlgItemTextW(dialog, DialogTemplate::SizeEditBox, (std::to_wstring(sizeKb) + L" Kb").c_str());
}

bool IsRegionBox(int id) {
    return std::any_of(Regions.begin(), Regions.end(), [id](const RegionInfo& region) { return region.checkBoxId == id; });
}

INT_PTR CALLBACK DownloadProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = StateOf<DownloadState>(dialog, message, lParam);
    if (state == nullptr)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        // A themed check box draws its text in the theme's colour whatever
        // the dialog answers: black on black. Unthemed, they follow it.
        for (const RegionInfo& region : Regions)
            SetWindowTheme(GetDlgItem(dialog, region.checkBoxId), L"", L"");
        ShowSlots(dialog, state->rules.open());
        ShowSize(dialog, state->rules.sizeKb());
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            state->rules.accept(ReadBoxes(dialog));
            EndDialog(dialog, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        } else if (HIWORD(wParam) == BN_CLICKED && IsRegionBox(id)) {
            // The box has already moved on; the rules decide what all seven show.
            ShowSlots(dialog, state->rules.click(ReadBoxes(dialog)));
            ShowSize(dialog, state->rules.sizeKb());
        }
        return TRUE;
    }
    default:
        return WhiteTextOnBlack(message, wParam);
    }
}

}  // namespace

bool RunLanguageDialog(HWND owner, const Resources& resources, int languageInForce,
                       const std::function<void(int)>& choose) {
    LanguageState state{resources, languageInForce, choose};
    return RunDialogTemplate(owner, LanguageDialogTemplate(resources), LanguageProcedure, &state) == IDOK;
}

bool RunDownloadSettingDialog(HWND owner, const Resources& resources, const DownloadSelectionRules& rules) {
    DownloadState state{resources, rules};
    return RunDialogTemplate(owner, DownloadSettingDialogTemplate(resources), DownloadProcedure, &state) == IDOK;
}

#include "win32/history_dialog_runner.h"

#include <commctrl.h>

#include <cstdio>

#include "ui/dialog_templates.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "win32/dialog_template_bytes.h"
#include "ui/history_tables.h"
#include "win32/template_dialog_runner.h"
#include "win32/wide_text.h"

namespace {

using namespace DialogBytes;

constexpr int TableId = 1100;
constexpr int IntroTextId = 1101;
constexpr std::uint32_t DialogStyle = Popup | Caption | SystemMenu | ModalFrame | SetFont | CentreOnOwner;
constexpr std::uint32_t ReportTableStyle = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;

Dialog Frame(const Resources& resources, int captionId, std::int16_t width, std::int16_t height) {
    Dialog dialog;
    dialog.style = DialogStyle;
    dialog.width = width;
    dialog.height = height;
    dialog.caption = resources.String(captionId);
    dialog.pointSize = DialogTemplate::PointSize;
    dialog.typeface = DialogTemplate::FontFamily;
    return dialog;
}

Control Table(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height) {
    return Control{TableId, ControlClass::Static, Child | Visible | TabStop | Border | ReportTableStyle,
                   x, y, width, height, "", WC_LISTVIEWA};
}

// OK and Cancel as the language dialog names them.
std::string TemplateButtonText(const Resources& resources, int button) {
    return resources.Text(ResourceKind::DialogItem, DialogTemplate::Language, button);
}

void FillTable(HWND table, const TableText& text, const Resources& resources) {
    ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (std::size_t column = 0; column < text.headingIds.size(); ++column) {
        std::wstring heading = Wide(resources.String(text.headingIds[column]));
        LVCOLUMNW entry{};
        entry.mask = LVCF_TEXT | LVCF_SUBITEM;
        entry.pszText = heading.data();
        entry.iSubItem = static_cast<int>(column);
        SendMessageW(table, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&entry));
    }
    for (std::size_t row = 0; row < text.rows.size(); ++row) {
        for (std::size_t column = 0; column < text.rows[row].size(); ++column) {
            std::wstring cell = Wide(text.rows[row][column]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(row);
            item.iSubItem = static_cast<int>(column);
            item.pszText = cell.data();
            SendMessageW(table, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    // Columns as wide as their contents and headings; the last one takes the rest.
    const int padding = MulDiv(16, static_cast<int>(GetDpiForWindow(table)), USER_DEFAULT_SCREEN_DPI);
    for (std::size_t column = 0; column < text.headingIds.size(); ++column) {
        const int index = static_cast<int>(column);
        if (column + 1 == text.headingIds.size()) {
            ListView_SetColumnWidth(table, index, LVSCW_AUTOSIZE_USEHEADER);
            break;
        }
        ListView_SetColumnWidth(table, index, LVSCW_AUTOSIZE);
        const std::wstring heading = Wide(resources.String(text.headingIds[column]));
        const int headingWidth = ListView_GetStringWidth(table, heading.c_str()) + padding;
        if (ListView_GetColumnWidth(table, index) < headingWidth)
            ListView_SetColumnWidth(table, index, headingWidth);
    }
    if (!text.rows.empty()) {
        ListView_SetItemState(table, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
}

struct TableState {
    const Resources& resources;
    const TableText& text;
    bool choosing;  // the restore dialog: OK takes the chosen row
    int chosenRow = -1;
};

INT_PTR CALLBACK TableProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* state = reinterpret_cast<TableState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (state == nullptr)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        const HWND table = GetDlgItem(dialog, TableId);
        FillTable(table, state->text, state->resources);
        SetFocus(table);
        return FALSE;  // the focus is set
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (state->choosing && header->idFrom == TableId && header->code == NM_DBLCLK)
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && state->choosing) {
            state->chosenRow = ListView_GetNextItem(GetDlgItem(dialog, TableId), -1, LVNI_SELECTED);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;
    default:
        return WhiteTextOnBlack(message, wParam);
    }
}

INT_PTR Run(HWND owner, const Dialog& dialog, TableState& state) {
    static const bool controlsReady = [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)controlsReady;
    return RunDialogTemplate(owner, dialog, TableProcedure, &state);
}

}  // namespace

std::string LocalWhen(std::int64_t ms) {
    // Milliseconds since 1970 as the system's 100 ns ticks since 1601.
    const std::uint64_t ticks = static_cast<std::uint64_t>(ms) * 10000ULL + 116444736000000000ULL;
    const FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFFULL), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return "\u2013";
    char text[32];
    std::snprintf(text, sizeof text, "%02u.%02u.%02u %02u:%02u", local.wDay, local.wMonth, local.wYear % 100u,
                  local.wHour, local.wMinute);
    return text;
}

void RunHistoryDialog(HWND owner, const std::vector<HistoryRecord>& records, const Resources& resources) {
    const TableText text = HistoryTable(records, resources, LocalWhen);
    // Wide enough for the columns at the designed font in every language.
    Dialog dialog = Frame(resources, ResourceId::HistoryCaption, 520, 220);
    if (records.empty()) {
        dialog.controls.push_back({IntroTextId, ControlClass::Static, Child | Visible | LeftStatic, 7, 7, 506, 10,
                                   resources.String(ResourceId::HistoryEmptyText)});
    }
    const std::int16_t tableTop = records.empty() ? 20 : 7;
    dialog.controls.push_back(Table(7, tableTop, 506, static_cast<std::int16_t>(192 - tableTop)));
    dialog.controls.push_back({IDCANCEL, ControlClass::Button, Child | Visible | TabStop | DefaultPushButton, 463,
                               201, 50, 14, resources.String(ResourceId::CloseButtonText)});
    TableState state{resources, text, false};
    Run(owner, dialog, state);
}

std::int64_t RunRestoreDialog(HWND owner, const std::string& serial, const std::vector<BackupInfo>& backups,
                              const Resources& resources) {
    const TableText text = RestoreTable(backups, resources, LocalWhen);
    Dialog dialog = Frame(resources, ResourceId::RestoreCaption, 260, 150);
    std::string intro = resources.String(ResourceId::RestoreIntroText);
    if (const auto at = intro.find("%1"); at != std::string::npos)
        intro.replace(at, 2, serial);
    dialog.controls.push_back({IntroTextId, ControlClass::Static, Child | Visible | LeftStatic, 7, 7, 246, 20, intro});
    dialog.controls.push_back(Table(7, 30, 246, 94));
    dialog.controls.push_back({IDOK, ControlClass::Button, Child | Visible | TabStop | DefaultPushButton, 146, 130,
                               50, 14, TemplateButtonText(resources, DialogTemplate::OkButton)});
    dialog.controls.push_back({IDCANCEL, ControlClass::Button, Child | Visible | TabStop | PushButton, 203, 130, 50,
                               14, TemplateButtonText(resources, DialogTemplate::CancelButton)});
    TableState state{resources, text, true};
    if (Run(owner, dialog, state) != IDOK || state.chosenRow < 0 ||
        state.chosenRow >= static_cast<int>(backups.size()))
        return 0;
    return backups[static_cast<std::size_t>(state.chosenRow)].id;
}

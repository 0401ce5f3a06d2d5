// Runs under wine on a virtual display (or on Windows): opens the language
// and download selection dialogs from their in-memory templates, works them
// from the keyboard and by clicks as a user would, saves their pictures into
// the given folder and checks what they did. Exit 0 when every check holds.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ui/dialog_templates.h"
#include "ui/resources.h"
#include <commctrl.h>

#include "win32/history_dialog_runner.h"
#include "win32/message_boxes.h"
#include "win32/template_dialog_runner.h"
#include "win32/wide_text.h"
#include "win32/window_picture.h"

namespace {

int failures = 0;
std::string folder;
std::function<void(HWND)> actOnDialog;

void Check(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

// Acts on the dialog once it is up, from inside its own modal loop.
void CALLBACK ActWhenUp(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = GetActiveWindow();
    if (dialog == nullptr || !actOnDialog)
        return;
    KillTimer(nullptr, timer);
    auto act = std::move(actOnDialog);
    actOnDialog = nullptr;
    act(dialog);
}

void Schedule(std::function<void(HWND)> act) {
    actOnDialog = std::move(act);
    SetTimer(nullptr, 0, 300, ActWhenUp);
}

void Key(HWND dialog, WPARAM key) {
    // Through the dialog manager, as a key press from the keyboard goes.
    const HWND focus = GetFocus();
    PostMessageW(focus != nullptr ? focus : dialog, WM_KEYDOWN, key, 0);
    PostMessageW(focus != nullptr ? focus : dialog, WM_KEYUP, key, 0xC0000000);
}

void Save(HWND dialog, const std::string& name) {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    WindowPicture::Capture(dialog, true).SaveBmp(folder + name);
}

std::string ItemText(HWND dialog, int id) {
    wchar_t text[128] = {};
    GetDlgItemTextW(dialog, id, text, 128);
    return Narrow(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    folder = argc > 1 ? Narrow(argv[1]) + "\\" : std::string();
    Resources resources;

    // Language: German in force has the focus; Esc changes nothing.
    int chosen = -1;
    const auto choose = [&chosen](int index) { chosen = index; };
    Schedule([](HWND dialog) {
        Check(GetDlgCtrlID(GetFocus()) == 1016, "the German flag has the focus at first");
        Check(!IsWindowVisible(GetDlgItem(dialog, IDOK)), "OK is not shown");
        Save(dialog, "language.bmp");
        Key(dialog, VK_ESCAPE);
    });
    Check(!RunLanguageDialog(nullptr, resources, 8, choose), "Esc closes the language dialog without a choice");
    Check(chosen == -1, "Esc chooses no language");

    // Tab to the next flag (French) and Enter chooses it.
    Schedule([](HWND dialog) {
        Key(dialog, VK_TAB);
        Schedule([](HWND again) {
            Check(GetDlgCtrlID(GetFocus()) == 1013, "Tab moves from English to the French flag");
            Key(again, VK_RETURN);
        });
    });
    Check(RunLanguageDialog(nullptr, resources, 0, choose), "Enter on a flag closes with a choice");
    Check(chosen == 1, "Enter on the French flag chooses French, not " + std::to_string(chosen));

    // Download selection, with rules that record what the dialog hands them.
    RegionStates clicked{};
    RegionStates accepted{};
    int clicks = 0;
    std::int32_t size = 320;
    DownloadSelectionRules rules;
    rules.open = [] {
        RegionSlots slots{};
        slots[0] = RegionLocked;
        return slots;
    };
    rules.click = [&](const RegionStates& states) {
        ++clicks;
        clicked = states;
        size = 1720;
        RegionSlots slots{};
        std::copy(states.begin(), states.end(), slots.begin());
        slots[0] = RegionLocked;
        return slots;
    };
    rules.accept = [&accepted](const RegionStates& states) { accepted = states; };
    rules.sizeKb = [&size] { return size; };
    Schedule([](HWND dialog) {
        Check(IsDlgButtonChecked(dialog, 1000) == BST_INDETERMINATE, "the locked region shows the third state");
        Check(ItemText(dialog, DialogTemplate::SizeEditBox) == "320 Kb", "the size shows at the start");
        SendDlgItemMessageW(dialog, 1001, BM_CLICK, 0, 0);
        Check(ItemText(dialog, DialogTemplate::SizeEditBox) == "1720 Kb", "a tick changes the size at once");
        Save(dialog, "download-setting.bmp");
        const WindowPicture picture = WindowPicture::Capture(dialog, false);
        Check(picture.Pixel(2, 2) == Rgb(0, 0, 0), "the dialog is black");
        SendDlgItemMessageW(dialog, IDOK, BM_CLICK, 0, 0);
    });
    Check(RunDownloadSettingDialog(nullptr, resources, rules), "OK closes the download selection with OK");
    Check(clicks == 1 && clicked[1] == RegionSelected, "the click reached the rules with UK Schools ticked");
    Check(accepted[1] == RegionSelected && accepted[0] == RegionLocked, "OK hands the boxes' states over");

    // History: one row per cycle; Esc closes it.
    HistoryRecord done;
    done.startedMs = 1765180800000;
    done.serial = "0012345";
    done.outcome = CycleOutcome::Succeeded;
    done.before = DatabaseHoldings{true, true, "01.12.26", 12000};
    done.after = DatabaseHoldings{true, true, "08.12.26", 12345};
    HistoryRecord failed = done;
    failed.outcome = CycleOutcome::Failed;
    failed.cause = "the Orvo was unplugged";
    Schedule([](HWND dialog) {
        const HWND table = GetDlgItem(dialog, 1100);
        Check(ListView_GetItemCount(table) == 2, "the history shows both cycles");
        Check(GetFocus() == table, "the history's table has the focus");
        Save(dialog, "history.bmp");
        Key(dialog, VK_ESCAPE);
    });
    RunHistoryDialog(nullptr, {done, failed}, resources);

    // Restore: the newest is chosen at first and Enter takes it; Esc takes none.
    const std::vector<BackupInfo> backups{{7, "0012345", 1765180800000, "08.12.26", 12345},
                                          {5, "0012345", 1764576000000, "01.12.26", 12000}};
    Schedule([](HWND dialog) {
        Check(ListView_GetNextItem(GetDlgItem(dialog, 1100), -1, LVNI_SELECTED) == 0, "the newest is chosen at first");
        Save(dialog, "restore.bmp");
        Key(dialog, VK_RETURN);
    });
    Check(RunRestoreDialog(nullptr, "0012345", backups, resources) == 7, "Enter restores the newest");
    Schedule([](HWND dialog) {
        ListView_SetItemState(GetDlgItem(dialog, 1100), 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        Key(dialog, VK_ESCAPE);
    });
    Check(RunRestoreDialog(nullptr, "0012345", backups, resources) == 0, "Esc restores nothing");

    // A question's buttons speak the language in force, not the system's.
    Schedule([](HWND box) {
        Check(ItemText(box, IDYES) == "Ja" && ItemText(box, IDNO) == "Nein",
              "the question's buttons are \"" + ItemText(box, IDYES) + "\" and \"" + ItemText(box, IDNO) + "\"");
        Save(box, "question.bmp");
        Key(box, VK_RETURN);  // No is the default
    });
    Check(!AskYesNo(nullptr, "Das Programm trotzdem schlie\xC3\x9F" "en?", "DFUpdate_tessel", "Ja", "Nein"),
          "Enter answers the question with No");

    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
    return failures == 0 ? 0 : 1;
}

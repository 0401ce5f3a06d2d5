#pragma once

#include <windows.h>

#include <functional>

#include "win32/dialog_rules.h"
#include "win32/dialog_template_bytes.h"

class Resources;

// The dialogs' look, for WM_CTLCOLORDLG and WM_CTLCOLORSTATIC: white text on
// black, as the main window; FALSE for any other message. Push buttons keep
// the system's look.
INT_PTR WhiteTextOnBlack(UINT message, WPARAM wParam);
// Shows `dialog` modally over `owner`, made from its template bytes;
// `state` reaches `procedure` with WM_INITDIALOG.
INT_PTR RunDialogTemplate(HWND owner, const DialogBytes::Dialog& dialog, DLGPROC procedure, void* state);

// The language dialog (template 130) over `owner`: a flag hands its
// language index to `choose` and closes the dialog; Esc or the close box
// leave everything as it was. The flag of `languageInForce` has the focus
// first. Returns whether a flag was chosen.
bool RunLanguageDialog(HWND owner, const Resources& resources, int languageInForce,
                       const std::function<void(int languageIndex)>& choose);

// The download selection dialog (template 131) over `owner`, driven by
// `rules`. Returns whether it was closed with OK.
bool RunDownloadSettingDialog(HWND owner, const Resources& resources, const DownloadSelectionRules& rules);

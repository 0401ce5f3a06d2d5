#pragma once

#include <windows.h>

#include <functional>

#include "win32/dialog_rules.h"

class Resources;

// The language dialog (template 130) over `owner`: a flag hands its
// language index to `choose` and closes the dialog; Esc or the close box
// leave everything as it was. The flag of `languageInForce` has the focus
// first. Returns whether a flag was chosen.
bool RunLanguageDialog(HWND owner, const Resources& resources, int languageInForce,
                       const std::function<void(int languageIndex)>& choose);

// The download selection dialog (template 131) over `owner`, driven by
// `rules`. Returns whether it was closed with OK.
bool RunDownloadSettingDialog(HWND owner, const Resources& resources, const DownloadSelectionRules& rules);

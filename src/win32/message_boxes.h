#pragma once

#include <windows.h>

#include <string>

// Modal boxes over `owner` with the application's title as their caption.
// The OK box carries the error icon when `error` is set.
void ShowNotice(HWND owner, const std::string& text, const std::string& caption, bool error = false);

// A Yes/No question, No the default. The buttons carry `yes` and `no`, the
// texts of the language in force, not the system's own words. True for Yes.
bool AskYesNo(HWND owner, const std::string& text, const std::string& caption, const std::string& yes,
              const std::string& no);

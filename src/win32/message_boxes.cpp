#include "win32/message_boxes.h"

#include "win32/wide_text.h"

namespace {

// The button texts for the box this thread is about to open. The box is
// made by the system; a hook on this thread names its buttons as it comes up.
struct ButtonNames {
    std::wstring yes;
    std::wstring no;
    HHOOK hook = nullptr;
};
thread_local ButtonNames* pendingNames = nullptr;

LRESULT CALLBACK NameButtonsOnActivate(int code, WPARAM wParam, LPARAM lParam) {
    ButtonNames* names = pendingNames;
    if (names == nullptr)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    const HHOOK hook = names->hook;
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDYES, names->yes.c_str());
        SetDlgItemTextW(box, IDNO, names->no.c_str());
        pendingNames = nullptr;
        UnhookWindowsHookEx(hook);
        return 0;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

void ShowNotice(HWND owner, const std::string& text, const std::string& caption, bool error) {
    MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(),
                MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION) | MB_SETFOREGROUND);
}

bool AskYesNo(HWND owner, const std::string& text, const std::string& caption, const std::string& yes,
              const std::string& no) {
    ButtonNames names{Wide(yes), Wide(no), nullptr};
    names.hook = SetWindowsHookExW(WH_CBT, NameButtonsOnActivate, nullptr, GetCurrentThreadId());
    pendingNames = names.hook != nullptr ? &names : nullptr;
    const int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(),
                                   MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_SETFOREGROUND);
    if (pendingNames == &names) {  // the box never came up
        UnhookWindowsHookEx(names.hook);
        pendingNames = nullptr;
    }
    return answer == IDYES;
}

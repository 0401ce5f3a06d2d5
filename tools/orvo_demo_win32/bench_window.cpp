#include "orvo_demo_win32/bench_window.h"

#include <algorithm>
#include <iterator>

#include "demo_support/demo_bench.h"
#include "win32/wide_text.h"
#include "win32/window_class.h"

namespace {

// The layout at 96 DPI, in pixels: one column of labelled rows.
constexpr int Margin = 10;
constexpr int LabelWidth = 110;
constexpr int FieldWidth = 170;
constexpr int RowHeight = 24;
constexpr int ButtonWidth = 80;
constexpr int ListHeight = 80;
constexpr int Width = Margin * 3 + LabelWidth + FieldWidth + ButtonWidth;

std::string TextOf(HWND control) {
    wchar_t text[64] = {};
    GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    return Narrow(text);
}

}  // namespace

BenchWindow::BenchWindow(DemoBench& bench, std::string serial) : bench_(bench), serial_(std::move(serial)) {}

BenchWindow::~BenchWindow() {
    if (window_ != nullptr)
        DestroyWindow(window_);
    if (font_ != nullptr)
        DeleteObject(font_);
}

bool BenchWindow::Create(HWND beside) {
    static const bool registered = RegisterWindowClass(ClassName, &BenchWindow::WindowProcedure,
                                                       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (!registered || window_ != nullptr)
        return false;
    RECT frame{};
    GetWindowRect(beside, &frame);
    const UINT dpi = GetDpiForWindow(beside);
    RECT size{0, 0, MulDiv(Width, static_cast<int>(dpi), 96), MulDiv(Margin * 2 + RowHeight * 4 + ListHeight + 50,
                                                                      static_cast<int>(dpi), 96)};
    constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectExForDpi(&size, Style, FALSE, 0, dpi);
    const int width = size.right - size.left;
    const int height = size.bottom - size.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int x = frame.right + width <= screenWidth ? frame.right : std::max(0, static_cast<int>(frame.left) - width);
    // Owned by the updater's window: it stays in front of it and goes with it.
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"Orvo demo bench", Style, x, frame.top, width, height,
                              beside, nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr)
        return false;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    MakeControls();
    Refresh();
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    return true;
}

void BenchWindow::MakeControls() {
    const int dpi = static_cast<int>(GetDpiForWindow(window_));
    const auto at = [dpi](int value) { return MulDiv(value, dpi, 96); };
    const auto make = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id, int x, int y, int w, int h) {
        const HWND control = CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, at(x), at(y), at(w), at(h),
                                             window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                             GetModuleHandleW(nullptr), nullptr);
        if (font_ != nullptr)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return control;
    };
    const int fieldX = Margin * 2 + LabelWidth;
    const int buttonX = fieldX + FieldWidth + Margin;
    int y = Margin;
    make(L"STATIC", L"Serial:", 0, 0, Margin, y + 3, LabelWidth, RowHeight);
    const HWND edit = make(L"EDIT", Wide(serial_).c_str(), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, SerialEdit,
                           fieldX, y, FieldWidth, RowHeight - 2);
    SendMessageW(edit, EM_SETLIMITTEXT, 7, 0);
    make(L"BUTTON", L"Plug in", WS_TABSTOP | BS_DEFPUSHBUTTON, PlugButton, buttonX, y, ButtonWidth, RowHeight);
    y += RowHeight + Margin;
    make(L"STATIC", L"Plugged in:", 0, 0, Margin, y + 3, LabelWidth, RowHeight);
    make(L"LISTBOX", L"", WS_BORDER | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, PluggedList, fieldX, y, FieldWidth,
         ListHeight);
    make(L"BUTTON", L"Unplug", WS_TABSTOP, UnplugButton, buttonX, y, ButtonWidth, RowHeight);
    y += ListHeight + Margin;
    make(L"STATIC", L"Next cycle's fault:", 0, 0, Margin, y + 3, LabelWidth, RowHeight);
    const HWND faults = make(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, FaultBox, fieldX, y,
                             FieldWidth + Margin + ButtonWidth, 200);
    const DemoFault chosen = bench_.NextFault();
    int index = 0;
    for (const DemoFaultOption& option : DemoFaultOptions()) {
        SendMessageW(faults, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(DemoFaultName(option.fault)).c_str()));
        if (option.fault == chosen)
            SendMessageW(faults, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ++index;
    }
    y += RowHeight + Margin;
    make(L"STATIC", L"", 0, Note, Margin, y, Width - 2 * Margin, RowHeight * 2);
    if (!bench_.Available())
        Say("Not in this build: " + bench_.Missing() + ".");
}

LRESULT CALLBACK BenchWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<BenchWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(window, message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT BenchWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case PlugButton: PlugClicked(); return 0;
        case UnplugButton: UnplugClicked(); return 0;
        case FaultBox:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                FaultChosen();
            return 0;
        default: break;
        }
        break;
    case WM_CLOSE:
        // The bench goes with the updater's window, not before it.
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool BenchWindow::TakesMessage(MSG& message) const {
    return window_ != nullptr && IsDialogMessageW(window_, &message);
}

void BenchWindow::PlugClicked() {
    const std::string serial = TextOf(Control(SerialEdit));
    if (!bench_.Plug(serial))
        Say("Could not plug in " + serial + " (a serial is 7 letters or digits, not already plugged in).");
    else
        Say("");
    Refresh();
}

void BenchWindow::UnplugClicked() {
    const HWND list = Control(PluggedList);
    LRESULT chosen = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (chosen == LB_ERR && shown_.size() == 1)
        chosen = 0;
    if (chosen != LB_ERR && static_cast<std::size_t>(chosen) < shown_.size())
        bench_.Unplug(shown_[static_cast<std::size_t>(chosen)]);
    Refresh();
}

void BenchWindow::FaultChosen() {
    const LRESULT index = SendMessageW(Control(FaultBox), CB_GETCURSEL, 0, 0);
    const auto options = DemoFaultOptions();
    if (index >= 0 && static_cast<std::size_t>(index) < options.size())
        bench_.SetNextFault(options[static_cast<std::size_t>(index)].fault);
}

void BenchWindow::Refresh() {
    if (window_ == nullptr)
        return;
    const std::vector<std::string> serials = bench_.Plugged();
    if (serials == shown_)
        return;  // keeps the user's selection
    shown_ = serials;
    const HWND list = Control(PluggedList);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& serial : shown_)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(serial).c_str()));
}

void BenchWindow::Say(const std::string& text) { SetWindowTextW(Control(Note), Wide(text).c_str()); }

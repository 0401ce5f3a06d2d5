#include "win32/main_view.h"

#include <algorithm>
#include <vector>

#include "ui/status_painting.h"
#include "win32/gdi_objects.h"
#include "win32/skin_progress_bar.h"
#include "win32/ui_thread_calls.h"
#include "win32/wide_text.h"
#include "win32/window_class.h"

namespace {

constexpr const wchar_t* ClassName = L"OrvoMainView";
// Below this height (at 100 %) a long line is clipped rather than shrunk further.
constexpr int SmallestStatusHeight = 8;
// Window timer ids are the logical ids past this base (id 0 stays free).
constexpr UINT_PTR TimerBase = 0x100;
constexpr int ShortestTimerPeriod = 10;

RECT ToRect(const PixelRect& rect) { return RECT{rect.left, rect.top, rect.right, rect.bottom}; }

HFONT StatusFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_SWISS | DEFAULT_PITCH, L"Tahoma");
}

int WidestLine(HDC dc, const std::vector<std::wstring>& lines) {
    int widest = 0;
    for (const std::wstring& line : lines) {
        SIZE size{};
        GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    return widest;
}

}  // namespace

MainView::MainView(SkinProgressBar& bar, std::string picturePath)
    : bar_(bar), picturePath_(std::move(picturePath)) {}

MainView::~MainView() {
    if (window_ != nullptr && IsWindow(window_))
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
}

bool MainView::Create(HWND parent, const RECT& place) {
    static const bool registered = RegisterWindowClass(ClassName, &MainView::WindowProcedure,
                                                       static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (!registered || window_ != nullptr)
        return false;
    window_ = CreateWindowExW(0, ClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, place.left, place.top,
                              place.right - place.left, place.bottom - place.top, parent, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (window_ == nullptr)
        return false;
    LayOut(place.right - place.left, place.bottom - place.top);
    return bar_.Create(window_, ToRect(Layout().progressBar));
}

void MainView::Move(const RECT& place) {
    MoveWindow(window_, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    LayOut(place.right - place.left, place.bottom - place.top);
    bar_.Move(ToRect(Layout().progressBar));
    RepaintAll();
}

void MainView::LayOut(int width, int height) {
    const std::lock_guard lock(mutex_);
    layout_ = ComputeMainViewLayout(width, height);
}

MainViewLayout MainView::Layout() const {
    const std::lock_guard lock(mutex_);
    return layout_;
}

void MainView::SetStatusText(const std::string& text) {
    {
        const std::lock_guard lock(mutex_);
        if (text == statusText_)
            return;
        statusText_ = text;
    }
    RepaintAll();
}

std::string MainView::StatusText() const {
    std::function<std::string()> source;
    {
        const std::lock_guard lock(mutex_);
        if (!statusSource_)
            return statusText_;
        source = statusSource_;
    }
    return source();
}

void MainView::ReadStatusFrom(std::function<std::string()> source) {
    {
        const std::lock_guard lock(mutex_);
        statusSource_ = std::move(source);
    }
    RepaintAll();
}

void MainView::SetTimerHandler(std::function<void(int)> tick) { timerTick_ = std::move(tick); }

void MainView::StartTimer(int id, int periodMs) {
    if (window_ != nullptr)
        SetTimer(window_, TimerBase + static_cast<UINT_PTR>(id), static_cast<UINT>(std::max(periodMs, ShortestTimerPeriod)),
                 nullptr);
}

void MainView::StopTimer(int id) {
    if (window_ != nullptr)
        KillTimer(window_, TimerBase + static_cast<UINT_PTR>(id));
}

void MainView::ServeCalls(UiThreadCalls* calls) { calls_ = calls; }

void MainView::RepaintAll() const {
    if (window_ != nullptr)
        InvalidateRect(window_, nullptr, TRUE);
}

LRESULT CALLBACK MainView::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<MainView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view != nullptr && view->calls_ != nullptr && view->calls_->Handle(message))
        return 0;
    switch (message) {
    case WM_TIMER:
        if (view != nullptr && wParam >= TimerBase) {
            if (view->timerTick_)
                view->timerTick_(static_cast<int>(wParam - TimerBase));
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        if (view != nullptr)
            return 1;  // the paint below covers the whole view, black first
        break;
    case WM_PAINT:
        if (view != nullptr) {
            view->Paint();
            return 0;
        }
        break;
    case WM_DESTROY:
        if (view != nullptr)
            view->window_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MainView::Paint() {
    PAINTSTRUCT paint{};
    const HDC target = BeginPaint(window_, &paint);
    RECT client{};
    GetClientRect(window_, &client);
    const MainViewLayout layout = Layout();
    {
        OffscreenDc offscreen(target, client);
        const HDC dc = offscreen.Dc();
        FillSolid(dc, client, Rgb(0, 0, 0));
        DrawPicture(dc, ToRect(layout.pictureRect));
        DrawStatus(dc, StatusText(), ToRect(layout.statusRect));
    }
    EndPaint(window_, &paint);
}

void MainView::DrawPicture(HDC dc, const RECT& area) const {
    if (picturePath_.empty())
        return;
    // Read at every repaint, so the picture can be exchanged while the program runs.
    const auto picture = static_cast<HBITMAP>(
        LoadImageW(nullptr, Wide(picturePath_).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (picture == nullptr)
        return;
    BITMAP info{};
    GetObjectW(picture, sizeof info, &info);
    const HDC memory = CreateCompatibleDC(dc);
    const HGDIOBJ previous = SelectObject(memory, picture);
    // Averaged rather than dropped pixels, so the picture stays clean at any scale.
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
}

void MainView::DrawStatus(HDC dc, const std::string& text, const RECT& area) const {
    const UINT dpi = DpiOf(window_);
    const int lineHeight = Scaled(StatusLineHeight(text), dpi);
    std::vector<std::wstring> lines;
    for (const std::string& line : StatusLines(text))
        lines.push_back(Wide(line));

    // A translated line may be longer than the English one: the font steps
    // down until the widest line fits, so no line loses its ends.
    const int areaWidth = area.right - area.left;
    HFONT font = nullptr;
    for (int height = lineHeight;; --height) {
        font = StatusFont(height);
        const HGDIOBJ previous = SelectObject(dc, font);
        const bool fits = WidestLine(dc, lines) <= areaWidth;
        SelectObject(dc, previous);
        if (fits || height <= Scaled(SmallestStatusHeight, dpi))
            break;
        DeleteObject(font);
    }
    const ScopedFont owner(font);
    const HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    int top = area.top;
    for (std::wstring& line : lines) {
        RECT lineRect{area.left, top, area.right, top + lineHeight};
        DrawTextW(dc, line.data(), static_cast<int>(line.size()), &lineRect,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
        top += lineHeight;
    }
    RestoreDC(dc, saved);
    SelectObject(dc, previous);
}

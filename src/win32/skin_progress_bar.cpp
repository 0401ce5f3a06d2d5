#include "win32/skin_progress_bar.h"

#include "win32/gdi_objects.h"
#include "win32/wide_text.h"
#include "win32/window_class.h"

namespace {

constexpr const wchar_t* BarClassName = L"OrvoSkinProgress";

Colour SystemHighlight() {
    const COLORREF colour = GetSysColor(COLOR_HIGHLIGHT);  // 0x00BBGGRR, as Colour
    return static_cast<Colour>(colour);
}

bool RegisterBarClass() {
    static const bool registered = RegisterWindowClass(BarClassName, DefWindowProcW);  // replaced per window below
    return registered;
}

}  // namespace

SkinProgressBar::SkinProgressBar() : model_(SystemHighlight()) {}

SkinProgressBar::~SkinProgressBar() {
    const HWND window = window_.exchange(nullptr);
    if (window != nullptr && IsWindow(window))
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

bool SkinProgressBar::Create(HWND parent, const RECT& place) {
    if (window_.load() != nullptr || !RegisterBarClass())
        return false;
    const HWND window = CreateWindowExW(0, BarClassName, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                                        place.right - place.left, place.bottom - place.top, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId)),
                                        GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr)
        return false;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinProgressBar::WindowProcedure));
    {
        const std::lock_guard lock(mutex_);
        model_.WindowCreated();
    }
    window_.store(window);
    return true;
}

void SkinProgressBar::Move(const RECT& place) {
    const HWND window = window_.load();
    if (window == nullptr)
        return;
    MoveWindow(window, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    const std::lock_guard lock(mutex_);
    model_.Resized();
}

int SkinProgressBar::ClientWidth() const {
    RECT client{};
    const HWND window = window_.load();
    if (window != nullptr)
        GetClientRect(window, &client);
    return client.right - client.left;
}

void SkinProgressBar::Invalidate() const {
    // Safe from any thread: the repaint itself happens on the UI thread.
    if (const HWND window = window_.load(); window != nullptr)
        InvalidateRect(window, nullptr, FALSE);
}

int SkinProgressBar::SetPos(int position) {
    const int width = ClientWidth();
    ProgressBarModel::PositionChange change;
    {
        const std::lock_guard lock(mutex_);
        change = model_.SetPos(position, width);
    }
    if (change.repaint)
        Invalidate();
    return change.previous;
}

void SkinProgressBar::SetText(const std::string& text) {
    bool repaint = false;
    {
        const std::lock_guard lock(mutex_);
        repaint = model_.SetText(text);
    }
    if (!repaint)
        return;
    Invalidate();
    if (textWatcher_)
        textWatcher_(text);
}

std::string SkinProgressBar::Text() const {
    const std::lock_guard lock(mutex_);
    return model_.Text();
}

void SkinProgressBar::SetShowText(bool show) {
    bool repaint = false;
    {
        const std::lock_guard lock(mutex_);
        repaint = model_.SetShowText(show);
    }
    if (repaint)
        Invalidate();
}

// The colours show at the next repaint, which the caller's SetPos or text brings.
void SkinProgressBar::SetBarColour(Colour colour) {
    const std::lock_guard lock(mutex_);
    model_.SetBarColour(colour);
}
void SkinProgressBar::SetBkColour(Colour colour) {
    const std::lock_guard lock(mutex_);
    model_.SetBkColour(colour);
}
void SkinProgressBar::SetTextColour(Colour colour) {
    const std::lock_guard lock(mutex_);
    model_.SetTextColour(colour);
}
void SkinProgressBar::SetTextBkColour(Colour colour) {
    const std::lock_guard lock(mutex_);
    model_.SetTextBkColour(colour);
}

int SkinProgressBar::Position() const {
    const std::lock_guard lock(mutex_);
    return model_.Position();
}

LRESULT CALLBACK SkinProgressBar::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* bar = reinterpret_cast<SkinProgressBar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT:
        if (bar != nullptr) {
            bar->Paint(window);
            return 0;
        }
        break;
    case WM_SIZE:
        if (bar != nullptr) {
            const std::lock_guard lock(bar->mutex_);
            bar->model_.Resized();
        }
        break;
    case WM_DESTROY:
        if (bar != nullptr) {
            const std::lock_guard lock(bar->mutex_);
            bar->model_.WindowDestroyed();
            bar->window_.store(nullptr);
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void SkinProgressBar::Paint(HWND window) {
    PAINTSTRUCT paint{};
    const HDC target = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    ProgressBarPicture picture;
    {
        const std::lock_guard lock(mutex_);
        picture = model_.Picture(client.right - client.left);
    }
    {
        OffscreenDc offscreen(target, client);
        const HDC dc = offscreen.Dc();
        const RECT filled{0, 0, picture.splitX, client.bottom};
        const RECT empty{picture.splitX, 0, client.right, client.bottom};
        FillSolid(dc, filled, picture.filledColour);
        FillSolid(dc, empty, picture.emptyColour);
        if (picture.showText) {
            const ScopedFont font(MessageFontFor(window));
            const HGDIOBJ previousFont = SelectObject(dc, font.Get());
            SetBkMode(dc, TRANSPARENT);
            std::wstring text = Wide(picture.text);
            RECT whole = client;
            const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
            for (const auto& [part, colour] : {std::pair{filled, picture.textOverFilled},
                                               std::pair{empty, picture.textOverEmpty}}) {
                const HRGN clip = CreateRectRgnIndirect(&part);
                SelectClipRgn(dc, clip);
                SetTextColor(dc, static_cast<COLORREF>(colour));
                DrawTextW(dc, text.data(), static_cast<int>(text.size()), &whole, format);
                SelectClipRgn(dc, nullptr);
                DeleteObject(clip);
            }
            SelectObject(dc, previousFont);
        }
    }
    EndPaint(window, &paint);
}

#include "win32/gdi_objects.h"

UINT DpiOf(HWND window) {
    const UINT dpi = window != nullptr ? GetDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int Scaled(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

HFONT MessageFontFor(HWND window) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, DpiOf(window)))
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

void FillSolid(HDC dc, const RECT& rect, Colour colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    const HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(colour));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

OffscreenDc::OffscreenDc(HDC target, const RECT& rect) : target_(target), rect_(rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return;
    memory_ = CreateCompatibleDC(target);
    bitmap_ = memory_ != nullptr ? CreateCompatibleBitmap(target, width, height) : nullptr;
    if (bitmap_ == nullptr) {
        // No memory for the picture: draw straight into the target instead.
        if (memory_ != nullptr)
            DeleteDC(memory_);
        memory_ = nullptr;
        return;
    }
    previous_ = SelectObject(memory_, bitmap_);
    SetWindowOrgEx(memory_, rect.left, rect.top, nullptr);
}

OffscreenDc::~OffscreenDc() {
    if (memory_ == nullptr)
        return;
    BitBlt(target_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, memory_, rect_.left,
           rect_.top, SRCCOPY);
    SelectObject(memory_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
}

#pragma once

#include <windows.h>

#include "common/colour.h"

// Small owners of GDI objects and the DPI arithmetic the front end shares.

// The window's dots per inch (96 is 100 %).
UINT DpiOf(HWND window);
// `value` at 96 DPI, in pixels at `dpi`, rounded.
int Scaled(int value, UINT dpi);

class ScopedFont {
public:
    explicit ScopedFont(HFONT font) : font_(font) {}
    ~ScopedFont() {
        if (font_ != nullptr)
            DeleteObject(font_);
    }
    ScopedFont(const ScopedFont&) = delete;
    ScopedFont& operator=(const ScopedFont&) = delete;
    HFONT Get() const { return font_; }

private:
    HFONT font_;
};

// The system's message font at the window's DPI.
HFONT MessageFontFor(HWND window);

void FillSolid(HDC dc, const RECT& rect, Colour colour);

// A memory drawing context over `rect` of `target`: everything is drawn into
// it and copied to the target in one step when it goes, so nothing flickers.
class OffscreenDc {
public:
    OffscreenDc(HDC target, const RECT& rect);
    ~OffscreenDc();
    OffscreenDc(const OffscreenDc&) = delete;
    OffscreenDc& operator=(const OffscreenDc&) = delete;
    HDC Dc() const { return memory_ != nullptr ? memory_ : target_; }

private:
    HDC target_;
    RECT rect_;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/colour.h"

// A window's picture as it is on the screen, for screenshots and for tests
// that check what was drawn.
class WindowPicture {
public:
    // The whole window with its frame, or only its client area.
    static WindowPicture Capture(HWND window, bool withFrame);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return pixels_.empty(); }
    Colour Pixel(int x, int y) const;
    // As a 24-bit BMP file; false when it cannot be written.
    bool SaveBmp(const std::string& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;  // bottom-up rows of blue, green, red, padded to four bytes
};

#pragma once

// Where the main view puts its three areas. The numbers are fractions of the
// view's size at its first layout, each product taken in double precision
// and truncated toward zero, so 382 x 277 always gives the same pixels.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct MainViewLayout {
    PixelRect progressBar;
    PixelRect statusRect;
    PixelRect pictureRect;
};

// `fraction` x `length`, computed in double precision, truncated toward zero.
int ScaleTruncated(double fraction, int length);

MainViewLayout ComputeMainViewLayout(int width, int height);

#include "ui/view_layout.h"

int ScaleTruncated(double fraction, int length) {
    // The cast truncates toward zero, which is what keeps 0.97 x 100 at 97.
    return static_cast<int>(fraction * static_cast<double>(length));
}

namespace {

PixelRect Scaled(double left, double top, double right, double bottom, int width, int height) {
    return PixelRect{ScaleTruncated(left, width), ScaleTruncated(top, height), ScaleTruncated(right, width),
                     ScaleTruncated(bottom, height)};
}

}  // namespace

MainViewLayout ComputeMainViewLayout(int width, int height) {
    MainViewLayout layout;
    layout.progressBar = Scaled(0.03, 0.88, 0.97, 0.94, width, height);
    layout.statusRect = Scaled(0.04, 0.57, 0.96, 0.85, width, height);
    layout.pictureRect = Scaled(0.01, 0.01, 0.985, 0.54, width, height);
    return layout;
}

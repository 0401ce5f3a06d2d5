#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window of outer size `size` goes beside the window `anchor` (its
// outer frame), inside `available` (the screen without its panels): to the
// right, else the left, below, above, whichever comes first without
// overlapping; when none does, the one that overlaps least. Always inside
// `available`, as far as the size allows.
QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap);

// As PlaceBeside; when no side has room but the screen is wide enough for
// both side by side, the anchor moves (as little as it must) to make room.
struct PairPlacement {
    QPoint anchor;
    QPoint window;
};
PairPlacement PlacePair(const QRect& anchor, const QSize& size, const QRect& available, int gap);

// Shows `window` beside `anchor` on the anchor's screen, and keeps it there
// whenever the anchor moves (the window system places the anchor only after
// it is shown). The anchor is moved once at most, to make room.
void ShowBeside(QWidget& window, QWidget& anchor);

// The hints of a window that keeps one size: title, system menu and close
// (and minimize when asked), never maximize.
Qt::WindowFlags FixedSizeWindowFlags(Qt::WindowType type, bool minimizable = false);

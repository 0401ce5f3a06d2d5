#include "qt/window_placement.h"

#include <algorithm>
#include <array>

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace {

// Moved into `available`; a window larger than it keeps its top left corner.
QRect Within(QRect rect, const QRect& available) {
    const int x = std::clamp(rect.x(), available.left(), std::max(available.left(), available.right() + 1 - rect.width()));
    const int y = std::clamp(rect.y(), available.top(), std::max(available.top(), available.bottom() + 1 - rect.height()));
    rect.moveTopLeft(QPoint(x, y));
    return rect;
}

qint64 OverlapArea(const QRect& a, const QRect& b) {
    const QRect overlap = a.intersected(b);
    return overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
}

}  // namespace

QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& available, int gap) {
    const std::array<QPoint, 4> candidates{
        QPoint(anchor.right() + 1 + gap, anchor.top()),
        QPoint(anchor.left() - gap - size.width(), anchor.top()),
        QPoint(anchor.left(), anchor.bottom() + 1 + gap),
        QPoint(anchor.left(), anchor.top() - gap - size.height()),
    };
    QRect best;
    qint64 bestOverlap = -1;
    for (const QPoint& corner : candidates) {
        const QRect placed = Within(QRect(corner, size), available);
        const qint64 overlap = OverlapArea(placed, anchor);
        if (bestOverlap < 0 || overlap < bestOverlap) {
            best = placed;
            bestOverlap = overlap;
        }
        if (overlap == 0)
            break;
    }
    return best.topLeft();
}

PairPlacement PlacePair(const QRect& anchor, const QSize& size, const QRect& available, int gap) {
    const QPoint beside = PlaceBeside(anchor, size, available, gap);
    const int pairWidth = anchor.width() + gap + size.width();
    if (!QRect(beside, size).intersects(anchor) || pairWidth > available.width())
        return {anchor.topLeft(), beside};
    const int anchorX = std::min(anchor.x(), available.right() + 1 - pairWidth);
    const QRect moved(QPoint(std::max(anchorX, available.left()), anchor.y()), anchor.size());
    return {moved.topLeft(), PlaceBeside(moved, size, available, gap)};
}

namespace {

constexpr int WindowGap = 16;

// Places the window again whenever its anchor moves or shows.
class BesideAnchor : public QObject {
public:
    BesideAnchor(QWidget& window, QWidget& anchor) : QObject(&window), window_(window), anchor_(anchor) {
        anchor_.installEventFilter(this);
    }

    void Place() {
        const QScreen* screen = anchor_.screen();
        const QRect available = screen != nullptr ? screen->availableGeometry() : anchor_.frameGeometry();
        // Before it is shown the frame the window system adds to the window is
        // not known: the anchor's own stands in for it.
        const QSize decoration = window_.isVisible()
                                     ? window_.frameGeometry().size() - window_.size()
                                     : anchor_.frameGeometry().size() - anchor_.size();
        const QRect anchor = anchor_.frameGeometry();
        const PairPlacement placed = PlacePair(anchor, window_.size() + decoration, available, WindowGap);
        if (placed.anchor != anchor.topLeft() && !anchorMoved_) {
            anchorMoved_ = true;
            anchor_.move(placed.anchor);  // comes back here through its move
            return;
        }
        window_.move(PlaceBeside(anchor, window_.size() + decoration, available, WindowGap));
    }

private:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &anchor_ && (event->type() == QEvent::Move || event->type() == QEvent::Show))
            Place();
        return false;
    }

    QWidget& window_;
    QWidget& anchor_;
    bool anchorMoved_ = false;
};

}  // namespace

void ShowBeside(QWidget& window, QWidget& anchor) {
    auto* keeper = new BesideAnchor(window, anchor);
    keeper->Place();
    window.show();
}

Qt::WindowFlags FixedSizeWindowFlags(Qt::WindowType type, bool minimizable) {
    Qt::WindowFlags flags = type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (minimizable)
        flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

#include "qt/skin_progress_ctrl.h"

#include <QApplication>
#include <QPaintEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include "qt/offscreen_dc.h"

namespace {

Colour SystemHighlight() {
    const QColor c = QApplication::palette().color(QPalette::Highlight);
    return Rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue()));
}

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

}  // namespace

CSkinProgressCtrl::CSkinProgressCtrl() : model_(SystemHighlight()), invoker_(this) {
    // The paint handler covers every pixel; an erase first would only flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setObjectName(QStringLiteral("progressBar%1").arg(ControlId));
}

CSkinProgressCtrl::~CSkinProgressCtrl() { invoker_.Shutdown(); }

void CSkinProgressCtrl::Create(QWidget* parent, const QRect& geometry) {
    setParent(parent);
    setGeometry(geometry);
    {
        std::lock_guard lock(mutex_);
        clientWidth_ = geometry.width();
        model_.WindowCreated();
    }
    show();
}

void CSkinProgressCtrl::Destroy() {
    {
        std::lock_guard lock(mutex_);
        model_.WindowDestroyed();
    }
    hide();
    setParent(nullptr);
}

int CSkinProgressCtrl::SetPos(int position) {
    ProgressBarModel::PositionChange change;
    {
        std::lock_guard lock(mutex_);
        change = model_.SetPos(position, clientWidth_);
    }
    if (change.repaint)
        RequestRepaint();
    return change.previous;
}

void CSkinProgressCtrl::SetText(const std::string& text) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        changed = model_.SetText(text);
    }
    if (!changed)
        return;
    RequestUpdate();
    Q_EMIT textChanged(QString::fromStdString(text));
}

std::string CSkinProgressCtrl::Text() const {
    std::lock_guard lock(mutex_);
    return model_.Text();
}

void CSkinProgressCtrl::SetShowText(bool show) {
    bool repaint = false;
    {
        std::lock_guard lock(mutex_);
        repaint = model_.SetShowText(show);
    }
    if (repaint)
        RequestUpdate();
}

void CSkinProgressCtrl::SetBarColour(Colour colour) {
    std::lock_guard lock(mutex_);
    model_.SetBarColour(colour);
}

void CSkinProgressCtrl::SetBkColour(Colour colour) {
    std::lock_guard lock(mutex_);
    model_.SetBkColour(colour);
}

void CSkinProgressCtrl::SetTextColour(Colour colour) {
    std::lock_guard lock(mutex_);
    model_.SetTextColour(colour);
}

void CSkinProgressCtrl::SetTextBkColour(Colour colour) {
    std::lock_guard lock(mutex_);
    model_.SetTextBkColour(colour);
}

int CSkinProgressCtrl::Pos() const {
    std::lock_guard lock(mutex_);
    return model_.Position();
}

void CSkinProgressCtrl::RequestRepaint() {
    // A position change is shown at once; from another thread the UI thread
    // does it as soon as it gets the call.
    invoker_.Post([this] { repaint(); });
}

void CSkinProgressCtrl::RequestUpdate() {
    invoker_.Post([this] { update(); });
}

QFont CSkinProgressCtrl::FontToFit(const QFont& font, const QString& text, int width) {
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed <= width || width <= 0)
        return font;
    // Smaller point sizes until the text fits, so a long text (a device
    // problem, a status in a longer language, a large desktop font) is
    // never cut at both ends; below the floor it stays at the floor.
    // A font may be sized in points or in pixels; steps of half a point or
    // one pixel.
    const bool points = font.pointSizeF() > 0;
    const qreal size = points ? font.pointSizeF() : font.pixelSize();
    const qreal step = points ? 0.5 : 1.0;
    const qreal floor = size * MinimumFontScale;
    QFont smaller = font;
    const auto resize = [&](qreal to) {
        if (points)
            smaller.setPointSizeF(to);
        else
            smaller.setPixelSize(static_cast<int>(to));
    };
    for (qreal to = size - step; to >= floor; to -= step) {
        resize(to);
        if (QFontMetrics(smaller).horizontalAdvance(text) <= width)
            return smaller;
    }
    resize(floor);
    return smaller;
}

void CSkinProgressCtrl::paintEvent(QPaintEvent* event) {
    ProgressBarPicture picture;
    {
        std::lock_guard lock(mutex_);
        picture = model_.Picture(width());
    }
    ++paintCount_;

    QPainter target(this);
    COffscreenDC dc(target, event->rect());
    QPainter& painter = dc.Painter();

    const QRect client = rect();
    const QRect filled(client.left(), client.top(), picture.splitX, client.height());
    const QRect empty(client.left() + picture.splitX, client.top(), client.width() - picture.splitX,
                      client.height());
    painter.fillRect(filled, ToQColor(picture.filledColour));
    painter.fillRect(empty, ToQColor(picture.emptyColour));
    if (!picture.showText)
        return;

    // One text, drawn twice through complementary clips, so it changes colour
    // exactly at the bar's edge.
    const QString text = QString::fromStdString(picture.text);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.save();
    painter.setFont(FontToFit(font(), text, client.width() - 2 * TextMarginPixels));
    painter.setClipRect(filled);
    painter.setPen(ToQColor(picture.textOverFilled));
    painter.drawText(client, flags, text);
    painter.setClipRect(empty);
    painter.setPen(ToQColor(picture.textOverEmpty));
    painter.drawText(client, flags, text);
    painter.restore();
}

void CSkinProgressCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    std::lock_guard lock(mutex_);
    clientWidth_ = width();
    model_.Resized();
}

#include "ui/widgets/text_fit.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace {

template <class Widget, class Fits>
void ShrinkUntil(Widget* widget, Fits fits) {
    QFont font = widget->font();
    while (!fits() && font.pointSize() > MinFittedPointSize) {
        font.setPointSize(font.pointSize() - 1);
        widget->setFont(font);
    }
}

}  // namespace

QString WrapText(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    lines << line;
    return lines.join(QLatin1Char('\n'));
}

bool ButtonTextFits(const QAbstractButton* button) {
    const QSize hint = button->sizeHint();
    return hint.width() <= button->width() && hint.height() <= button->height();
}

bool LabelTextFits(const QLabel* label) {
    return label->heightForWidth(label->width()) <= label->height() &&
           label->minimumSizeHint().width() <= label->width();
}

void FitButtonText(QAbstractButton* button, const QString& text, bool multiLine) {
    button->setFont(button->parentWidget() != nullptr ? button->parentWidget()->font() : button->font());
    const auto layOut = [&] {
        if (!multiLine) {
            button->setText(text);
            return;
        }
        // The indicator and its gap take what the single-line text leaves out.
        button->setText(QString());
        const int textWidth = button->width() - button->sizeHint().width();
        button->setText(WrapText(text, button->fontMetrics(), textWidth));
    };
    layOut();
    QFont font = button->font();
    while (!ButtonTextFits(button) && font.pointSize() > MinFittedPointSize) {
        font.setPointSize(font.pointSize() - 1);
        button->setFont(font);
        layOut();
    }
}

void FitLabelText(QLabel* label, const QString& text) {
    label->setWordWrap(true);
    label->setText(text);
    ShrinkUntil(label, [label] { return LabelTextFits(label); });
}

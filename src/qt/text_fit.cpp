#include "qt/text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

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

namespace {

// The room the style leaves a button's text inside the button's geometry.
QRect TextRoom(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(QPoint(0, 0), button->size());
    option.text = button->text();
    const bool checkBox = qobject_cast<const QCheckBox*>(button) != nullptr;
    return button->style()->subElementRect(checkBox ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                           &option, button);
}

}  // namespace

bool ButtonTextFits(const QAbstractButton* button) {
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    const QRect room = TextRoom(button);
    return text.width() <= room.width() && text.height() <= room.height();
}

bool LabelTextFits(const QLabel* label) {
    return label->heightForWidth(label->width()) <= label->height() &&
           label->minimumSizeHint().width() <= label->width();
}

void FitButtonText(QAbstractButton* button, const QString& text, bool multiLine) {
    button->setText(multiLine ? WrapText(text, button->fontMetrics(), TextRoom(button).width()) : text);
}

void FitLabelText(QLabel* label, const QString& text) {
    label->setWordWrap(true);
    label->setText(text);
}

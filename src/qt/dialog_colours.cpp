#include "qt/dialog_colours.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

void WhiteOnBlack(QWidget* widget, bool backgroundToo) {
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, Qt::black);
        palette.setColor(group, QPalette::WindowText, Qt::white);
        if (backgroundToo) {
            palette.setColor(group, QPalette::Base, Qt::black);
            palette.setColor(group, QPalette::Text, Qt::white);
        }
    }
    widget->setPalette(palette);
}

}  // namespace

void ApplyDialogColours(QWidget* dialog) {
    WhiteOnBlack(dialog, false);
    dialog->setAutoFillBackground(true);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (qobject_cast<QPushButton*>(child) != nullptr)
            child->setPalette(QApplication::palette());
        else if (auto* edit = qobject_cast<QLineEdit*>(child); edit != nullptr && edit->isReadOnly())
            WhiteOnBlack(edit, true);
        else if (qobject_cast<QLabel*>(child) != nullptr || qobject_cast<QCheckBox*>(child) != nullptr)
            WhiteOnBlack(child, false);
    }
}

#include "qt/toolkit_language.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

std::unique_ptr<QTranslator>& InstalledTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

}  // namespace

void FollowLanguageInToolkit(const Resources& resources) {
    auto& installed = InstalledTranslator();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const QString locale = QString::fromStdString(resources.String(ResourceId::ToolkitLocaleName));
    if (locale.isEmpty() || locale == QStringLiteral("en"))
        return;
    auto translator = std::make_unique<QTranslator>();
    // "qt_xx" brings the base module's texts; a missing file leaves English.
    if (!translator->load(QStringLiteral("qt_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
}

void NameYesNoButtons(QMessageBox& box, const Resources& resources) {
    if (QAbstractButton* yes = box.button(QMessageBox::Yes))
        yes->setText(QString::fromStdString(resources.String(ResourceId::YesButtonText)));
    if (QAbstractButton* no = box.button(QMessageBox::No))
        no->setText(QString::fromStdString(resources.String(ResourceId::NoButtonText)));
}

#include "qt/user_notice.h"

#include <cstdio>

#include <QApplication>
#include <QMessageBox>

#include "ui/resource_ids.h"
#include "ui/resources.h"

std::string TextWithValue(const Resources& resources, int id, const std::string& value) {
    std::string text = resources.String(id);
    if (const auto at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

void TellUserLater(const Resources& resources, const std::string& text) {
    std::fprintf(stderr, "orvo-updater: %s\n", text.c_str());
    if (qApp == nullptr)
        return;
    const QString caption = QString::fromStdString(resources.String(ResourceId::AppTitle));
    QMetaObject::invokeMethod(
        qApp, [caption, message = QString::fromStdString(text)] {
            QMessageBox::warning(QApplication::activeWindow(), caption, message);
        },
        Qt::QueuedConnection);
}

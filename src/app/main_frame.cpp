#include "app/main_frame.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>

#include "app/main_view.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

constexpr const char* VersionSuffix = "(v1.0.7)";

QString MenuText(int item) {
    return QString::fromStdString(ResourceText(ResourceKind::MenuItem, CMainFrame::MenuId, item));
}

}  // namespace

CMainFrame::CMainFrame(CDfuDevice& device, CSkinProgressCtrl& progressBar, const UpdaterServices& services)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      device_(device),
      services_(services),
      view_(new CDFUpdate_tesselView(device, progressBar, services, this)) {
    setWindowTitle(TitleText());
    BuildMenu();
    setCentralWidget(view_);
    // Fixed size: the view keeps 382 x 277 so its layout numbers hold.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::TitleText() { return QString::fromStdString(LoadResourceString(ResourceId::FrameTitle) + VersionSuffix); }

void CMainFrame::BuildMenu() {
    QMenu* menu = menuBar()->addMenu(MenuText(0));
    // The shortcut texts after the tab are shown but deliberately not bound:
    // a bound Ctrl+X would quit in the middle of a write.
    QAction* language = menu->addAction(MenuText(LanguageCommand));
    language->setObjectName(QStringLiteral("command%1").arg(LanguageCommand));
    connect(language, &QAction::triggered, this, [this] { OnCommand(LanguageCommand); });
    QAction* exit = menu->addAction(MenuText(ExitCommand));
    exit->setObjectName(QStringLiteral("command%1").arg(ExitCommand));
    connect(exit, &QAction::triggered, this, [this] { OnCommand(ExitCommand); });
}

bool CMainFrame::OnCommand(int commandId) {
    switch (commandId) {
    case LanguageCommand:
        services_.runLanguageDialog(this, device_);
        update();
        view_->update();
        return true;
    case DownloadSelectionCommand:
        services_.runDownloadSelectionDialog(this, device_);
        return true;
    case ExitCommand:
        close();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::ConfirmCloseDuringWrite() {
    if (services_.confirmCloseDuringWrite)
        return services_.confirmCloseDuringWrite(this);
    const QString caption = QString::fromStdString(LoadResourceString(ResourceId::AppTitle));
    const QString question = QString::fromStdString(LoadResourceString(ResourceId::ConfirmCloseWhileWriting));
    return QMessageBox::warning(this, caption, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (view_->IsWritingDevice() && !ConfirmCloseDuringWrite()) {
        event->ignore();
        return;
    }
    view_->OnDestroy();
    event->accept();
}

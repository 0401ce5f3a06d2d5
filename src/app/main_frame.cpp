#include "app/main_frame.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>

#include "app/main_view.h"
#include "common/version.h"
#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/widgets/window_placement.h"

namespace {

QString MenuText(const Resources& resources, int item) {
    return QString::fromStdString(resources.Text(ResourceKind::MenuItem, CMainFrame::MenuId, item));
}

}  // namespace

CMainFrame::CMainFrame(CDfuDevice& device, CSkinProgressCtrl& progressBar, const UpdaterServices& services,
                       const Resources& resources)
    : QMainWindow(nullptr, FixedSizeWindowFlags(Qt::Window)),
      device_(device),
      services_(services),
      resources_(resources),
      view_(new CDFUpdate_tesselView(device, progressBar, services, resources, this)) {
    setWindowTitle(TitleText());
    BuildMenu();
    setCentralWidget(view_);
    // Fixed size: the view keeps 382 x 277 so its layout numbers hold.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::TitleText() const {
    return QString::fromStdString(resources_.String(ResourceId::FrameTitle) + "(v" + OrvoVersion + ")");
}

void CMainFrame::BuildMenu() {
    menu_ = menuBar()->addMenu(MenuText(resources_, ResourceId::MenuPopup));
    menu_->setObjectName(QStringLiteral("menu%1").arg(MenuId));
    // The shortcut texts after the tab are shown but deliberately not bound:
    // a bound Ctrl+X would quit in the middle of a write.
    for (const int command : {LanguageCommand, DownloadSelectionCommand, ExitCommand}) {
        QAction* item = menu_->addAction(MenuText(resources_, command));
        item->setObjectName(QStringLiteral("command%1").arg(command));
        item->setData(command);
        connect(item, &QAction::triggered, this, [this, command] { OnCommand(command); });
    }
}

void CMainFrame::ShowInLanguageInForce() {
    setWindowTitle(TitleText());
    menu_->setTitle(MenuText(resources_, ResourceId::MenuPopup));
    for (QAction* item : menu_->actions()) {
        item->setText(MenuText(resources_, item->data().toInt()));
    }
    device_.StatusText.Reresolve(resources_.StringLookup());
}

bool CMainFrame::OnCommand(int commandId) {
    switch (commandId) {
    case LanguageCommand:
        services_.runLanguageDialog(this, device_);
        ShowInLanguageInForce();
        update();
        view_->RepaintAll();
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
    const QString caption = QString::fromStdString(resources_.String(ResourceId::AppTitle));
    const QString question = QString::fromStdString(resources_.String(ResourceId::ConfirmCloseWhileWriting));
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

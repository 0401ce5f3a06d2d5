#include "qt/main_frame.h"

#include <filesystem>
#include <system_error>

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include "qt/main_view.h"
#include "qt/user_notice.h"
#include "common/version.h"
#include "device/dfu_device.h"
#include "history/history_store.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "qt/history_dialogs.h"
#include "qt/toolkit_language.h"
#include "qt/window_placement.h"

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
    // 0 stands for a separator.
    for (const int command : {LanguageCommand, DownloadSelectionCommand, 0, UpdateFromFileCommand, RestoreCommand,
                              HistoryCommand, OpenLogFolderCommand, 0, ExitCommand}) {
        if (command == 0) {
            menu_->addSeparator();
            continue;
        }
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
        if (item->isSeparator())
            continue;
        item->setText(MenuText(resources_, item->data().toInt()));
    }
    view_->StatusText().Reresolve(resources_.StringLookup());
}

bool CMainFrame::OnCommand(int commandId) {
    switch (commandId) {
    case LanguageCommand:
        services_.runLanguageDialog(this);
        FollowLanguageInToolkit(resources_);
        ShowInLanguageInForce();
        update();
        view_->RepaintAll();
        return true;
    case DownloadSelectionCommand:
        services_.runDownloadSelectionDialog(this);
        return true;
    case ExitCommand:
        close();
        return true;
    case HistoryCommand:
        ShowHistory();
        return true;
    case RestoreCommand:
        ChooseBackupToRestore();
        return true;
    case UpdateFromFileCommand:
        ChooseFileToWrite();
        return true;
    case OpenLogFolderCommand:
        OpenLogFolder();
        return true;
    default:
        return false;
    }
}

void CMainFrame::Tell(const std::string& text) {
    if (services_.messageBox) {
        services_.messageBox(text);
        return;
    }
    QMessageBox::information(this, QString::fromStdString(resources_.String(ResourceId::AppTitle)),
                             QString::fromStdString(text));
}

void CMainFrame::ShowHistory() {
    const std::vector<HistoryRecord> records =
        services_.history != nullptr ? services_.history->Records() : std::vector<HistoryRecord>{};
    CHistoryDlg dialog(records, resources_, this);
    dialog.exec();
}

void CMainFrame::ChooseBackupToRestore() {
    // The serial of the Orvo the worker identified; empty while none is.
    const std::string serial = device_.DeviceSerial.Get();
    if (serial.empty()) {
        Tell(resources_.String(ResourceId::NoOrvoIdentifiedText));
        return;
    }
    const std::vector<BackupInfo> backups =
        services_.history != nullptr ? services_.history->ListBackups(serial) : std::vector<BackupInfo>{};
    if (backups.empty()) {
        Tell(TextWithValue(resources_, ResourceId::NoBackupsText, serial));
        return;
    }
    CRestoreDlg dialog(serial, backups, resources_, this);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenBackupId() == 0)
        return;
    RequestCycle(CycleRequest{CycleSource::Restore, {}, dialog.ChosenBackupId()});
}

void CMainFrame::ChooseFileToWrite() {
    const QString caption = QString::fromStdString(resources_.String(ResourceId::ChooseDatabaseFileCaption));
    const QString filter = QString::fromStdString(resources_.String(ResourceId::DatabaseFileFilter));
    // The toolkit's own chooser, whose buttons and labels follow its
    // translation; the desktop's would speak the desktop's language.
    const QString path =
        QFileDialog::getOpenFileName(this, caption, QString(), filter, nullptr, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    RequestCycle(CycleRequest{CycleSource::File, path.toStdString(), 0});
}

// A cycle that starts now shows itself in the window: a box over it would
// only hide the write.
void CMainFrame::RequestCycle(const CycleRequest& request) {
    switch (view_->RequestCycle(request)) {
    case CycleRequestAnswer::Refused: Tell(resources_.String(ResourceId::CycleRequestRefusedText)); break;
    case CycleRequestAnswer::AtConnection: Tell(resources_.String(ResourceId::WrittenOnConnectionText)); break;
    case CycleRequestAnswer::StartsNow: break;
    }
}

void CMainFrame::OpenLogFolder() {
    namespace fs = std::filesystem;
    const std::string folder = services_.logFolder.empty() ? fs::current_path().string() : services_.logFolder;
    // The log's own rule: a folder it makes is for the user alone.
    std::error_code error;
    if (!fs::exists(folder, error) && fs::create_directories(folder, error))
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder))))
        Tell(TextWithValue(resources_, ResourceId::LogFolderNotOpenedText, folder));
}

// While the Orvo is written the worker asks first; its Yes closes again,
// once the question's box has gone.
void CMainFrame::closeEvent(QCloseEvent* event) {
    const auto approved = [this] {
        closeApproved_ = true;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    };
    if (!closeApproved_ && !view_->MayClose(approved)) {
        event->ignore();
        return;
    }
    view_->OnDestroy();
    event->accept();
}

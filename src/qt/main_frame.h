#pragma once

#include <QMainWindow>

#include "qt/updater_services.h"
#include "ui/resource_ids.h"

class CDfuDevice;
class CSkinProgressCtrl;
class CDFUpdate_tesselView;
class QAction;
class QMenu;
class Resources;

// The fixed-size main window: a caption with close only, menu 128 and the
// view. No tool bar, no status bar.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int LanguageCommand = ResourceId::LanguageCommand;
    static constexpr int DownloadSelectionCommand = ResourceId::DownloadSettingsCommand;
    static constexpr int ExitCommand = ResourceId::ExitCommand;
    static constexpr int HistoryCommand = ResourceId::HistoryCommand;
    static constexpr int RestoreCommand = ResourceId::RestoreCommand;
    static constexpr int UpdateFromFileCommand = ResourceId::UpdateFromFileCommand;
    static constexpr int OpenLogFolderCommand = ResourceId::OpenLogFolderCommand;
    static constexpr int MenuId = ResourceId::MainMenu;

    CMainFrame(CDfuDevice& device, CSkinProgressCtrl& progressBar, const UpdaterServices& services,
               const Resources& resources);
    ~CMainFrame() override;

    CDFUpdate_tesselView& View() { return *view_; }
    // Runs a command by its id, as a menu item or the framework would.
    // Returns false for an id the frame does not answer.
    bool OnCommand(int commandId);

    // The title: string 104 directly followed by the version.
    QString TitleText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    // Title, menu and status text again from the resources in force: a
    // language change shows at once, not only at the next start.
    void ShowInLanguageInForce();
    void ShowHistory();
    void ChooseBackupToRestore();
    void ChooseFileToWrite();
    void OpenLogFolder();
    // Hands the request to the worker and says what became of it.
    void RequestCycle(const CycleRequest& request);
    // A notice for the user, through the message-box seam when one is set.
    void Tell(const std::string& text);

    CDfuDevice& device_;
    const UpdaterServices& services_;
    const Resources& resources_;
    CDFUpdate_tesselView* view_;
    QMenu* menu_ = nullptr;
    // The user said Yes to closing during the write.
    bool closeApproved_ = false;
};

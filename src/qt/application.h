#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QApplication>

#include "qt/document.h"
#include "qt/updater_services.h"

class CDfuDevice;
class CSkinProgressCtrl;
class CMainFrame;
class Resources;

// The application object and the program-wide objects it keeps, built in
// this order and destroyed in reverse: the toolkit's application, the device
// object, the progress bar; then, at start-up, the document and the frame.
class CDFUpdate_tesselApp {
public:
    using DeviceFactory = std::function<std::unique_ptr<CDfuDevice>(const std::string& programPath)>;

    // A null factory builds the ordinary CDfuDevice on the program's own path.
    // `resources` are the ones the services switch on a language change.
    CDFUpdate_tesselApp(int& argc, char** argv, const Resources& resources, UpdaterServices services = {},
                        DeviceFactory makeDevice = {});
    ~CDFUpdate_tesselApp();
    CDFUpdate_tesselApp(const CDFUpdate_tesselApp&) = delete;
    CDFUpdate_tesselApp& operator=(const CDFUpdate_tesselApp&) = delete;

    // Start-up: settings, language, document, main frame and view (whose
    // initial update starts the worker), then shows the window.
    bool InitInstance();
    // Runs the event loop until the main window is closed; then stops the
    // view's work before anything is destroyed.
    int Run();

    CDfuDevice& Device() { return *device_; }
    CSkinProgressCtrl& ProgressBar() { return *progressBar_; }
    CMainFrame* MainFrame() { return frame_.get(); }

private:
    QApplication qtApp_;
    const Resources& resources_;
    UpdaterServices services_;
    std::unique_ptr<CDfuDevice> device_;
    std::unique_ptr<CSkinProgressCtrl> progressBar_;
    std::unique_ptr<CDFUpdate_tesselDoc> document_;
    std::unique_ptr<CMainFrame> frame_;
};

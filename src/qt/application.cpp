#include "qt/application.h"

#include <cstdio>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "qt/toolkit_language.h"
#include "device/dfu_device.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "qt/skin_progress_ctrl.h"
#include "common/program_folder.h"

namespace {

std::string FirstWord(int argc, char** argv) { return argc > 0 && argv[0] != nullptr ? argv[0] : ""; }

}  // namespace

CDFUpdate_tesselApp::CDFUpdate_tesselApp(int& argc, char** argv, const Resources& resources,
                                         UpdaterServices services, DeviceFactory makeDevice)
    : qtApp_(argc, argv), resources_(resources), services_(std::move(services)) {
    const std::string programPath = ResolveProgramPath(FirstWord(argc, argv));
    device_ = makeDevice ? makeDevice(programPath) : std::make_unique<CDfuDevice>(programPath);
    progressBar_ = std::make_unique<CSkinProgressCtrl>();
}

CDFUpdate_tesselApp::~CDFUpdate_tesselApp() {
    // The frame goes before the program-wide objects it uses; the view's own
    // shut-down has already stopped the worker.
    frame_.reset();
    document_.reset();
    progressBar_.reset();
    device_.reset();
}

bool CDFUpdate_tesselApp::InitInstance() {
    QApplication::setApplicationName(QString::fromStdString(resources_.String(ResourceId::AppTitle)));
    if (const std::string missing = MissingWiring(services_); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return false;
    }
    services_.loadSettings();
    services_.loadLanguageLibrary();
    FollowLanguageInToolkit(resources_);

    document_ = std::make_unique<CDFUpdate_tesselDoc>();
    if (!document_->OnNewDocument())
        return false;
    frame_ = std::make_unique<CMainFrame>(*device_, *progressBar_, services_, resources_);
    frame_->View().OnInitialUpdate();
    frame_->show();
    frame_->repaint();
    return true;
}

int CDFUpdate_tesselApp::Run() {
    const int result = QApplication::exec();
    if (frame_)
        frame_->View().OnDestroy();
    return result;
}

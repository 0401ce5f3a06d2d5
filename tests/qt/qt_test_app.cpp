#include "qt_test_app.h"

#include <gtest/gtest.h>

namespace {

QApplication* application = nullptr;

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        // Calls still queued by the last test run (and let go of what they hold) first.
        if (application != nullptr)
            QApplication::processEvents();
        delete application;
        application = nullptr;
    }
};

// Registered before main runs the tests, so its TearDown comes after the last one.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "orvo_tests_qt";
    static char* argv[] = {name, nullptr};
    if (application == nullptr)
        application = new QApplication(argc, argv);
    return *application;
}

UpdaterServices WindowServicesWithNothingWired() {
    UpdaterServices services;
    services.loadSettings = [] {};
    services.loadLanguageLibrary = [] {};
    services.loadRegionSelection = [] {};
    services.timerTick = [](int, CDfuDevice&, ViewPort&, ProgressBarPort&, CycleSignals&) {};
    services.runLanguageDialog = [](QWidget*) {};
    services.runDownloadSelectionDialog = [](QWidget*) {};
    services.releaseDevice = [](CDfuDevice&) {};
    return services;
}

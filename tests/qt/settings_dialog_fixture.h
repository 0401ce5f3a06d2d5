#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "device/dfu_device.h"
#include "qt_test_app.h"
#include "support/scratch_files.h"
#include "ui/language_library.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"

// A program folder with the built language libraries, a device on it, fresh
// shared settings and resources of its own (the built-in set in force).
class DialogFixture : public TestAppFirst {
public:
    explicit DialogFixture(const std::string& name)
        : folder(name), device(folder.File("orvo-updater")), settings(ProgramFolderLocations(folder.File(""))) {
        for (const char* file :
             {"Lang_FRA.Dll", "Lang_DUT.Dll", "Lang_FIN.Dll", "Lang_SWD.Dll", "Lang_SPN.Dll", "Lang_GER.Dll"})
            std::filesystem::copy_file(std::string(ORVO_TEST_BIN_DIR) + "/" + file, folder.File(file));
    }

    std::vector<std::string> SettingsLines() const {
        std::ifstream in(folder.File("tessell"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool SettingsFileExists() const { return std::filesystem::exists(folder.File("tessell")); }

    ScratchFolder folder;
    CDfuDevice device;
    SharedSettings settings;
    Resources resources;
};

// Runs `answer` on the modal dialog of type T once it is up, then returns.
template <class T>
void AnswerModal(std::function<void(T&)> answer) {
    // Owned by the application, so it is released even if no loop runs again.
    auto* poll = new QTimer(QApplication::instance());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*dialog);
        }
    });
    poll->start();
}

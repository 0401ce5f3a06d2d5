#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QDir>
#include <QImage>
#include <QPainter>

#include "app/main_frame.h"
#include "app/main_view.h"
#include "settings_dialog_fixture.h"
#include "ui/language_table.h"
#include "ui/widgets/download_setting_dialog.h"
#include "ui/widgets/language_dialog.h"
#include "ui/widgets/skin_progress_ctrl.h"

namespace {

// Pictures of the main window and both dialogs in every language, for the
// documentation. Runs only when ORVO_SCREENSHOT_DIR names the folder to fill.
TEST(LanguageScreenshots, MainWindowAndBothDialogsInEveryLanguage) {
    const char* target = std::getenv("ORVO_SCREENSHOT_DIR");
    if (target == nullptr)
        GTEST_SKIP() << "set ORVO_SCREENSHOT_DIR to write the screenshots";
    DialogFixture fixture("language_screenshots");
    std::filesystem::copy_file(ORVO_SOURCE_DIR "/res/Tessel.bmp", fixture.folder.File("Tessel.bmp"));
    QDir().mkpath(target);
    for (const auto& language : Languages) {
        ApplyLanguage(fixture.settings, fixture.resources, fixture.device, language.languageIndex);
        const QString name = QString::fromLatin1(language.name).toLower();

        UpdaterServices services;
        CSkinProgressCtrl bar;
        CMainFrame frame(fixture.device, bar, services, fixture.resources);
        frame.View().OnInitialUpdate();
        fixture.device.StatusText.Show(105, {}, fixture.resources.StringLookup());
        bar.SetText("47%");
        bar.SetPos(47);
        frame.show();
        ASSERT_TRUE(frame.grab().save(QStringLiteral("%1/main-%2.png").arg(target, name)));

        CDownloadSettingDlg selection(fixture.settings, fixture.resources, fixture.device);
        selection.RegionBox(1)->click();
        ASSERT_TRUE(selection.grab().save(QStringLiteral("%1/download-selection-%2.png").arg(target, name)));
        selection.reject();

        CLanguageDlg dialog(fixture.settings, fixture.resources, fixture.device);
        ASSERT_TRUE(dialog.grab().save(QStringLiteral("%1/language-%2.png").arg(target, name)));
        frame.View().OnDestroy();
    }
}

}  // namespace

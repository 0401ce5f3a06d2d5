#include <gtest/gtest.h>

#include "qt_test_app.h"

#include <cstdlib>
#include <filesystem>

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QImage>
#include <QPainter>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "settings_dialog_fixture.h"
#include "ui/language_table.h"
#include "qt/download_setting_dialog.h"
#include "qt/history_dialogs.h"
#include "qt/language_dialog.h"
#include "qt/skin_progress_ctrl.h"
#include "qt/toolkit_language.h"
#include "ui/localised_text.h"
#include "ui/resource_ids.h"

namespace {

// A few cycles of one Orvo as the history dialog shows them, newest first.
std::vector<HistoryRecord> SampleHistory() {
    const std::int64_t day = 86'400'000;
    HistoryRecord failed;
    failed.startedMs = 1'796'630'400'000;  // 7 December 2026
    failed.serial = "A123456";
    failed.outcome = CycleOutcome::Failed;
    failed.cause = "The server answered with HTTP status 503.";
    failed.causeId = ResourceId::DownloadCauseHttpStatus;
    failed.causeArgs = {"503"};
    failed.before = {true, true, "01.12.26", 18532};
    HistoryRecord restored = failed;
    restored.startedMs -= day;
    restored.source = CycleSource::Restore;
    restored.outcome = CycleOutcome::Succeeded;
    restored.cause.clear();
    restored.causeId = 0;
    restored.causeArgs.clear();
    restored.before = {true, true, "05.12.26", 15000};
    restored.after = {true, true, "01.12.26", 18532};
    HistoryRecord updated = restored;
    updated.startedMs -= day;
    updated.source = CycleSource::Server;
    updated.before = {true, true, "01.12.26", 18532};
    updated.after = {true, true, "05.12.26", 15000};
    HistoryRecord cutOff = updated;
    cutOff.startedMs -= 3 * day;
    cutOff.source = CycleSource::File;
    cutOff.outcome = CycleOutcome::Interrupted;
    cutOff.cause = HistoryStore::InterruptedCause;
    cutOff.after = {};
    return {failed, restored, updated, cutOff};
}

std::vector<BackupInfo> SampleBackups() {
    return {{2, "A123456", 1'796'544'000'000, "05.12.26", 15000}, {1, "A123456", 1'796'457'600'000, "01.12.26", 18532}};
}

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
        ApplyLanguage(fixture.settings, fixture.resources, language.languageIndex);
        const QString name = QString::fromLatin1(language.name).toLower();

        UpdaterServices services = WindowServicesWithNothingWired();
        CSkinProgressCtrl bar;
        CMainFrame frame(fixture.device, bar, services, fixture.resources);
        frame.View().OnInitialUpdate();
        frame.View().StatusText().Show(105, {}, fixture.resources.StringLookup());
        bar.SetText("47%");
        bar.SetPos(47);
        frame.show();
        ASSERT_TRUE(frame.grab().save(QStringLiteral("%1/main-%2.png").arg(target, name)));

        CDownloadSettingDlg selection(fixture.settings, fixture.resources);
        selection.RegionBox(1)->click();
        ASSERT_TRUE(selection.grab().save(QStringLiteral("%1/download-selection-%2.png").arg(target, name)));
        selection.reject();

        CLanguageDlg dialog(fixture.settings, fixture.resources);
        ASSERT_TRUE(dialog.grab().save(QStringLiteral("%1/language-%2.png").arg(target, name)));

        CHistoryDlg history(SampleHistory(), fixture.resources);
        history.show();
        ASSERT_TRUE(history.grab().save(QStringLiteral("%1/history-%2.png").arg(target, name)));
        CRestoreDlg restore("A123456", SampleBackups(), fixture.resources);
        restore.show();
        ASSERT_TRUE(restore.grab().save(QStringLiteral("%1/restore-%2.png").arg(target, name)));
        frame.View().OnDestroy();
    }
}

// The question, the file chooser, the history and the restore dialog in two
// languages, for checking by eye that no English word is left and numbers
// are grouped as the language groups them. Run once at scale 1 and once with
// QT_SCALE_FACTOR=2 (the files get "@2x"). Only with ORVO_SCREENSHOT_DIR.
TEST(LanguageScreenshots, DialogsOfTheNewSurfacesInGermanAndFinnish) {
    const char* target = std::getenv("ORVO_SCREENSHOT_DIR");
    if (target == nullptr)
        GTEST_SKIP() << "set ORVO_SCREENSHOT_DIR to write the screenshots";
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    const QString suffix = scale != nullptr && std::string(scale) == "2" ? QStringLiteral("@2x") : QString();
    DialogFixture fixture("surface_screenshots");
    QDir().mkpath(target);
    for (const char* name : {"german", "finnish"}) {
        const int index = std::string(name) == "german" ? 8 : 3;
        ApplyLanguage(fixture.settings, fixture.resources, index);
        FollowLanguageInToolkit(fixture.resources);
        const auto file = [&](const char* what) {
            return QStringLiteral("%1/%2-%3%4.png").arg(target, what, name, suffix);
        };
        const Resources& texts = fixture.resources;

        const std::string question = WithValues(texts.String(ResourceId::SmallerDatabaseQuestion),
                                                {GroupedNumber(texts, 9000), GroupedNumber(texts, 20000)});
        QMessageBox box(QMessageBox::Question, QString::fromStdString(texts.String(ResourceId::AppTitle)),
                        QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No);
        NameYesNoButtons(box, texts);
        box.show();
        ASSERT_TRUE(box.grab().save(file("question")));

        QFileDialog chooser(nullptr, QString::fromStdString(texts.String(ResourceId::ChooseDatabaseFileCaption)),
                            QStringLiteral("/usr/share"),
                            QString::fromStdString(texts.String(ResourceId::DatabaseFileFilter)));
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        chooser.resize(chooser.sizeHint());
        chooser.show();
        ASSERT_TRUE(chooser.grab().save(file("file-chooser")));

        CHistoryDlg history(SampleHistory(), texts);
        history.show();
        ASSERT_TRUE(history.grab().save(file("history")));
        CRestoreDlg restore("A123456", SampleBackups(), texts);
        restore.show();
        ASSERT_TRUE(restore.grab().save(file("restore")));
    }
    ApplyLanguage(fixture.settings, fixture.resources, 0);
    FollowLanguageInToolkit(fixture.resources);
}

}  // namespace

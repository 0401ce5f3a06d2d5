#include <gtest/gtest.h>

#include "qt_test_app.h"

#include <QImage>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTableWidget>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "settings_dialog_fixture.h"
#include "ui/language_table.h"
#include "qt/history_dialogs.h"
#include "qt/skin_progress_ctrl.h"
#include "qt/toolkit_language.h"
#include "ui/resource_ids.h"

namespace {

// Whether any pixel of column `x` between `top` and `bottom` is lit.
bool ColumnLit(const QImage& image, int x, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        if (qGray(image.pixel(x, y)) > 64)
            return true;
    }
    return false;
}

// Every status text of every language keeps both ends of its lines inside
// the view's status rectangle: a clipped line would light its edge columns.
TEST(LanguageStatusText, NoLineLosesItsEndsInAnyLanguage) {
    DialogFixture fixture("language_status");
    for (const auto& language : Languages) {
        ApplyLanguage(fixture.settings, fixture.resources, language.languageIndex);
        UpdaterServices services = WindowServicesWithNothingWired();
        CSkinProgressCtrl bar;
        CMainFrame frame(fixture.device, bar, services, fixture.resources);
        frame.View().OnInitialUpdate();
        const PixelRect& status = frame.View().Layout().statusRect;
        for (int id : {105, 106, 109, 110, 111, 112, 115}) {
            frame.View().StatusText().Set(fixture.resources.String(id));
            const QImage shot = frame.View().grab().toImage();
            EXPECT_FALSE(ColumnLit(shot, status.left, status.top, status.bottom)) << language.name << " " << id;
            EXPECT_FALSE(ColumnLit(shot, status.right - 1, status.top, status.bottom)) << language.name << " " << id;
        }
        frame.View().OnDestroy();
    }
}

// The history shows a kept cause in the language in force, with its values,
// and counts grouped as that language groups them; a cause kept without an
// id (older rows) shows its stored text.
TEST(LanguageHistory, ShowsCausesAndCountsInTheLanguageInForce) {
    DialogFixture fixture("language_history");
    ApplyLanguage(fixture.settings, fixture.resources, 8);  // German
    HistoryRecord failed;
    failed.startedMs = 1'796'630'400'000;
    failed.serial = "A123456";
    failed.outcome = CycleOutcome::Failed;
    failed.cause = "The server answered with HTTP status 503.";
    failed.causeId = ResourceId::DownloadCauseHttpStatus;
    failed.causeArgs = {"503"};
    failed.before = {true, true, "01.12.26", 20000};
    HistoryRecord older = failed;
    older.causeId = 0;
    older.causeArgs.clear();
    older.cause = "stored English text";
    HistoryRecord cutOff = older;
    cutOff.outcome = CycleOutcome::Interrupted;
    cutOff.cause = HistoryStore::InterruptedCause;
    CHistoryDlg history({failed, older, cutOff}, fixture.resources);
    EXPECT_EQ(history.Table()->item(0, 6)->text(), "Der Server antwortete mit dem HTTP-Status 503.");
    EXPECT_EQ(history.Table()->item(1, 6)->text(), "stored English text");
    EXPECT_EQ(history.Table()->item(2, 6)->text(), "Das Programm wurde vor dem Ende des Updates beendet.");
    EXPECT_TRUE(history.Table()->item(0, 4)->text().startsWith("20.000")) << history.Table()->item(0, 4)->text().toStdString();
    // One date format in a row: the start as the database's date is written.
    EXPECT_TRUE(history.Table()->item(0, 0)->text().startsWith("0")) << history.Table()->item(0, 0)->text().toStdString();
    EXPECT_EQ(history.Table()->item(0, 0)->text().section(' ', 0, 0).size(), 8);
}

TEST(LanguageHistory, QuestionsAnswerYesAndNoInTheLanguageInForce) {
    DialogFixture fixture("language_question");
    ApplyLanguage(fixture.settings, fixture.resources, 8);  // German
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    NameYesNoButtons(box, fixture.resources);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Ja");
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Nein");
}

// A dialog designed wider than the screen it opens on (the history at scale
// 2 on 1280 x 1024) keeps its buttons on the screen.
TEST(LanguageHistory, DialogsFitTheScreenTheyOpenOn) {
    const DialogFit fit = FitDialogToScreen({1560, 660}, {1280, 1000});
    EXPECT_LE(fit.width + 40, 1280);
    EXPECT_EQ(fit.height, 660);
    const DialogFit small = FitDialogToScreen({780, 330}, {1280, 1000});
    EXPECT_EQ(small.width, 780) << "a dialog that fits keeps its designed size";
    EXPECT_EQ(FitDialogToScreen({780, 330}, {0, 0}).width, 780) << "an unknown screen bounds nothing";
}

}  // namespace

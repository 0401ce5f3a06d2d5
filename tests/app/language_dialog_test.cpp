#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/main_frame.h"
#include "app/updater_services.h"
#include "settings_dialog_fixture.h"
#include "ui/dialog_templates.h"
#include "ui/language_table.h"
#include "ui/widgets/dialog_units.h"
#include "ui/widgets/download_setting_dialog.h"
#include "ui/widgets/language_dialog.h"
#include "app/settings_services.h"
#include "ui/widgets/skin_progress_ctrl.h"

namespace {

class LanguageDialog : public ::testing::Test, protected DialogFixture {
protected:
    LanguageDialog() : DialogFixture("language_dialog") {}
};

TEST_F(LanguageDialog, EachFlagSelectsItsLanguage) {
    for (std::size_t position = 0; position < Languages.size(); ++position) {
        const LanguageInfo& language = Languages[position];
        CLanguageDlg dialog(settings, device);
        QTest::mouseClick(dialog.FlagButton(static_cast<int>(position)), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << language.name;
        EXPECT_EQ(device.LanguageIndex, language.languageIndex) << language.name;
        EXPECT_EQ(SettingsLines().at(0), "&o=" + std::to_string(language.languageIndex));
        const auto library = std::dynamic_pointer_cast<const LanguageLibrary>(ResourcesInForce());
        if (language.libraryFile == nullptr) {
            EXPECT_EQ(ResourcesInForce(), nullptr);
        } else {
            ASSERT_NE(library, nullptr) << language.name;
            EXPECT_EQ(library->Path(), folder.File(language.libraryFile));
        }
    }
}

TEST_F(LanguageDialog, ShowsTheSevenFlagsAtTheTemplatesPositions) {
    CLanguageDlg dialog(settings, device);
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.size(), units.SizeToPixels(DialogTemplate::LanguageSize));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(Qt::black));
    for (int position = 0; position < 7; ++position) {
        QPushButton* button = dialog.FlagButton(position);
        EXPECT_EQ(button->geometry(), units.ToPixels(DialogTemplate::FlagButtons[position]));
        EXPECT_FALSE(button->icon().isNull()) << position;
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_LE(button->iconSize().width(), button->width());
        EXPECT_LE(button->iconSize().height(), button->height());
    }
    // Two columns of equal flags inside the dialog, none covering another.
    for (int position = 0; position < 7; ++position) {
        const QRect flag = dialog.FlagButton(position)->geometry();
        EXPECT_TRUE(dialog.rect().contains(flag)) << position;
        EXPECT_EQ(flag.size(), dialog.FlagButton(0)->size()) << position;
        EXPECT_EQ(flag.x(), dialog.FlagButton(position % 2)->x()) << position;
        for (int other = position + 1; other < 7; ++other)
            EXPECT_FALSE(flag.intersects(dialog.FlagButton(other)->geometry())) << position << " " << other;
    }
    EXPECT_LT(dialog.FlagButton(0)->geometry().right(), dialog.FlagButton(1)->x());
    EXPECT_FALSE(dialog.findChild<QPushButton*>("control1")->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.findChild<QPushButton*>("control2")->isVisibleTo(&dialog));
}

TEST_F(LanguageDialog, LeavingWithoutAFlagChangesNothing) {
    ApplyLanguage(settings, device, 8);
    CLanguageDlg dialog(settings, device);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(device.LanguageIndex, 8);
    EXPECT_EQ(SettingsLines().at(0), "&o=8");
    EXPECT_EQ(LoadResourceString(104), "Orvo-Softwarekonfiguration");
}

class FirstStart : public ::testing::Test, protected DialogFixture {
protected:
    FirstStart() : DialogFixture("language_first_start") { WireSettingsAndLanguages(services, settings); }

    UpdaterServices services;
};

TEST_F(FirstStart, LanguageDialogComesBeforeTheMainWindowAndItsChoiceIsInForce) {
    bool frameExisted = true;
    AnswerModal<CLanguageDlg>([&](CLanguageDlg& dialog) {
        frameExisted = false;
        for (QWidget* widget : QApplication::topLevelWidgets())
            frameExisted |= qobject_cast<CMainFrame*>(widget) != nullptr;
        QTest::mouseClick(dialog.FlagButton(4), Qt::LeftButton);  // German
    });
    services.loadSettings(device);
    services.loadLanguageLibrary(device);
    EXPECT_FALSE(frameExisted);
    EXPECT_EQ(SettingsLines(),
              (std::vector<std::string>{"&o=8", "&c=4", "0", "320", "1400", "100", "170", "50", "20", "0"}));

    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services);
    EXPECT_EQ(frame.windowTitle(), "Orvo-Softwarekonfiguration(v1.0.7)");
}

TEST_F(FirstStart, LeavingTheDialogWritesNothingAndStartsInEnglish) {
    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.reject(); });
    services.loadSettings(device);
    services.loadLanguageLibrary(device);
    EXPECT_FALSE(SettingsFileExists());
    EXPECT_EQ(device.LanguageIndex, 0);
    EXPECT_EQ(ResourcesInForce(), nullptr);
}

TEST_F(FirstStart, FrameCommandsOpenBothDialogs) {
    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services);
    bool sawSelection = false;
    AnswerModal<CDownloadSettingDlg>([&](CDownloadSettingDlg& dialog) {
        sawSelection = true;
        dialog.reject();
    });
    EXPECT_TRUE(frame.OnCommand(32772));
    EXPECT_TRUE(sawSelection);
    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.FlagButton(1)->click(); });
    EXPECT_TRUE(frame.OnCommand(32771));
    EXPECT_EQ(device.LanguageIndex, 1);
    EXPECT_EQ(frame.windowTitle(), "Orvo software configuration(v1.0.7)") << "the title changes at the next start";
}

}  // namespace

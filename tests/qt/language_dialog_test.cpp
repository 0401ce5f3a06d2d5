#include <gtest/gtest.h>

#include "qt_test_app.h"

#include <array>
#include <set>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "qt/updater_services.h"
#include "settings_dialog_fixture.h"
#include "ui/dialog_templates.h"
#include "device/dfu_device.h"
#include "ui/language_table.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "qt/dialog_units.h"
#include "qt/download_setting_dialog.h"
#include "qt/language_dialog.h"
#include "qt/settings_services.h"
#include "common/version.h"
#include "qt/skin_progress_ctrl.h"

namespace {

// The title as the frame shows it: the language's text and the build's version.
QString Titled(const char* text) { return QString::fromUtf8(text) + "(v" + OrvoVersion + ")"; }

class LanguageDialog : public ::testing::Test, protected DialogFixture {
protected:
    LanguageDialog() : DialogFixture("language_dialog") {}
};

TEST_F(LanguageDialog, EachFlagSelectsItsLanguage) {
    for (std::size_t position = 0; position < Languages.size(); ++position) {
        const LanguageInfo& language = Languages[position];
        CLanguageDlg dialog(settings, resources);
        QTest::mouseClick(dialog.FlagButton(static_cast<int>(position)), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << language.name;
        EXPECT_EQ(settings.LanguageIndex, language.languageIndex) << language.name;
        EXPECT_EQ(SettingsLines().at(0), "&o=" + std::to_string(language.languageIndex));
        const auto library = std::dynamic_pointer_cast<const LanguageLibrary>(resources.InForce());
        if (language.libraryFile == nullptr) {
            EXPECT_EQ(resources.InForce(), nullptr);
        } else {
            ASSERT_NE(library, nullptr) << language.name;
            EXPECT_EQ(library->Path(), folder.File(language.libraryFile));
        }
    }
}

TEST_F(LanguageDialog, ShowsTheSevenFlagsAtTheTemplatesPositions) {
    CLanguageDlg dialog(settings, resources);
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.size(), units.SizeToPixels(DialogTemplate::LanguageSize));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
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
    ApplyLanguage(settings, resources, 8);
    CLanguageDlg dialog(settings, resources);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings.LanguageIndex, 8);
    EXPECT_EQ(SettingsLines().at(0), "&o=8");
    EXPECT_EQ(resources.String(104), "Orvo-Softwarekonfiguration");
}

class FirstStart : public ::testing::Test, protected DialogFixture {
protected:
    FirstStart() : DialogFixture("language_first_start") { WireSettingsAndLanguages(services, settings, resources); }

    UpdaterServices services = WindowServicesWithNothingWired();
};

TEST_F(FirstStart, LanguageDialogComesBeforeTheMainWindowAndItsChoiceIsInForce) {
    bool frameExisted = true;
    AnswerModal<CLanguageDlg>([&](CLanguageDlg& dialog) {
        frameExisted = false;
        for (QWidget* widget : QApplication::topLevelWidgets())
            frameExisted |= qobject_cast<CMainFrame*>(widget) != nullptr;
        QTest::mouseClick(dialog.FlagButton(4), Qt::LeftButton);  // German
    });
    services.loadSettings();
    services.loadLanguageLibrary();
    EXPECT_FALSE(frameExisted);
    EXPECT_EQ(SettingsLines(),
              (std::vector<std::string>{"&o=8", "&c=4", "0", "320", "1400", "100", "170", "50", "20", "0"}));

    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services, resources);
    EXPECT_EQ(frame.windowTitle(), Titled("Orvo-Softwarekonfiguration"));
}

TEST_F(FirstStart, LeavingTheDialogWritesNothingAndStartsInEnglish) {
    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.reject(); });
    services.loadSettings();
    services.loadLanguageLibrary();
    EXPECT_FALSE(SettingsFileExists());
    EXPECT_EQ(settings.LanguageIndex, 0);
    EXPECT_EQ(resources.InForce(), nullptr);
}

TEST_F(FirstStart, FrameCommandsOpenBothDialogs) {
    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services, resources);
    bool sawSelection = false;
    AnswerModal<CDownloadSettingDlg>([&](CDownloadSettingDlg& dialog) {
        sawSelection = true;
        dialog.reject();
    });
    EXPECT_TRUE(frame.OnCommand(32772));
    EXPECT_TRUE(sawSelection);
    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.FlagButton(1)->click(); });
    EXPECT_TRUE(frame.OnCommand(32771));
    EXPECT_EQ(settings.LanguageIndex, 1);
    EXPECT_EQ(frame.windowTitle(), Titled("Configuration du logiciel Orvo")) << "the title changes at once";
}

// The menu offers the download selection between the language and exit,
// and the item opens it.
TEST_F(FirstStart, MenuOffersTheDownloadSelectionBeforeExit) {
    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services, resources);
    auto* menu = frame.findChild<QMenu*>("menu128");
    ASSERT_NE(menu, nullptr);
    auto items = menu->actions();
    items.removeIf([](const QAction* item) { return item->isSeparator(); });
    ASSERT_EQ(items.size(), 7);
    EXPECT_EQ(items[0]->objectName(), "command32771");
    EXPECT_EQ(items[1]->objectName(), "command32772");
    EXPECT_EQ(items[6]->objectName(), "command57665");
    EXPECT_EQ(items[1]->text().toStdString(), resources.Text(ResourceKind::MenuItem, 128, 32772));
    EXPECT_FALSE(items[1]->text().isEmpty());

    bool opened = false;
    AnswerModal<CDownloadSettingDlg>([&](CDownloadSettingDlg& dialog) {
        opened = true;
        dialog.reject();
    });
    items[1]->trigger();
    EXPECT_TRUE(opened);
}

// Title, menu and the status on show all follow a language chosen while the
// program runs, as soon as the dialog closes; a status with a serial keeps it.
TEST_F(FirstStart, ALanguageChosenWhileRunningShowsAtOnce) {
    CSkinProgressCtrl bar;
    CMainFrame frame(device, bar, services, resources);
    frame.View().OnInitialUpdate();
    frame.View().StatusText().Show(ResourceId::SerialPrefixText, "0012345", resources.StringLookup());
    auto* menu = frame.findChild<QMenu*>("menu128");
    ASSERT_NE(menu, nullptr);
    auto items = menu->actions();
    items.removeIf([](const QAction* item) { return item->isSeparator(); });
    ASSERT_EQ(items.size(), 7);
    const QString englishExit = items.at(6)->text();

    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.FlagButton(4)->click(); });  // German
    frame.OnCommand(32771);
    ASSERT_EQ(settings.LanguageIndex, 8);

    EXPECT_EQ(frame.windowTitle(), Titled("Orvo-Softwarekonfiguration"));
    EXPECT_EQ(menu->title(), QString::fromUtf8("&Menü"));
    for (int i = 0; i < 7; ++i) {
        const int command = std::array{32771, 32772, 32782, 32781, 32780, 32783, 57665}[static_cast<std::size_t>(i)];
        const std::string text = items.at(i)->text().toStdString();
        EXPECT_EQ(text, resources.Text(ResourceKind::MenuItem, 128, command));
        EXPECT_NE(text, *BuiltInResources().Find(ResourceKind::MenuItem, 128, command)) << command;
    }
    EXPECT_NE(items.at(6)->text(), englishExit);
    EXPECT_EQ(frame.View().StatusText().Get(), resources.String(ResourceId::SerialPrefixText) + "0012345");
    EXPECT_NE(frame.View().StatusText().Get().rfind("Orvo s/n", 0), 0u) << "still the English prefix";

    // A text of no string id is left as it is.
    frame.View().StatusText().Set("Upgrade 42");
    AnswerModal<CLanguageDlg>([](CLanguageDlg& dialog) { dialog.FlagButton(1)->click(); });  // French
    frame.OnCommand(32771);
    EXPECT_EQ(frame.View().StatusText().Get(), "Upgrade 42");
    EXPECT_EQ(frame.windowTitle(), Titled("Configuration du logiciel Orvo"));
    frame.View().OnDestroy();
}

// Every flag is named for screen readers, and the dialog works from the
// keyboard alone: the language in force is marked and has the focus, the
// arrows move over the two columns, Enter or Space chooses.
TEST_F(LanguageDialog, FlagsAreNamedAndTheLanguageInForceIsMarked) {
    ApplyLanguage(settings, resources, 3);  // Finnish
    CLanguageDlg dialog(settings, resources);
    std::set<QString> names;
    for (int position = 0; position < 7; ++position) {
        QPushButton* flag = dialog.FlagButton(position);
        EXPECT_FALSE(flag->accessibleName().isEmpty()) << position;
        EXPECT_EQ(flag->toolTip(), flag->accessibleName());
        names.insert(flag->accessibleName());
        EXPECT_EQ(flag->isChecked(), Languages[static_cast<std::size_t>(position)].languageIndex == 3) << position;
    }
    EXPECT_EQ(names.size(), 7u);
    EXPECT_EQ(dialog.FlagButton(5)->accessibleName(), "Suomi");
    EXPECT_EQ(dialog.FlagButton(1)->accessibleName(), QString::fromUtf8("Français"));

    auto* ok = dialog.findChild<QPushButton*>("control1");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_TRUE(dialog.FlagButton(5)->hasFocus());
}

TEST_F(LanguageDialog, ArrowsMoveBetweenFlagsAndEnterChooses) {
    CLanguageDlg dialog(settings, resources);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(dialog.FlagButton(0)->hasFocus()) << "English is in force";
    const auto press = [&](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    press(Qt::Key_Right);
    EXPECT_TRUE(dialog.FlagButton(1)->hasFocus());
    press(Qt::Key_Right);
    EXPECT_TRUE(dialog.FlagButton(1)->hasFocus()) << "the right edge stops";
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_TRUE(dialog.FlagButton(5)->hasFocus());
    press(Qt::Key_Down);
    EXPECT_TRUE(dialog.FlagButton(5)->hasFocus()) << "no flag below Finnish";
    press(Qt::Key_Left);
    press(Qt::Key_Down);
    EXPECT_TRUE(dialog.FlagButton(6)->hasFocus());
    press(Qt::Key_Up);
    EXPECT_TRUE(dialog.FlagButton(4)->hasFocus());
    EXPECT_EQ(dialog.result(), 0);
    press(Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.LanguageIndex, 8);
    EXPECT_EQ(SettingsLines().at(0), "&o=8");
}

TEST_F(LanguageDialog, SpaceChoosesTheFocusedFlag) {
    CLanguageDlg dialog(settings, resources);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.LanguageIndex, 2) << "Dutch, below English";
}

}  // namespace

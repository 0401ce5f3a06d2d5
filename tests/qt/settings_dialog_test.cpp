#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "settings_dialog_fixture.h"
#include "ui/dialog_templates.h"
#include "qt/dialog_units.h"
#include "qt/download_setting_dialog.h"
#include "qt/text_fit.h"

namespace {

class DownloadSettingDialog : public ::testing::Test, protected DialogFixture {
protected:
    DownloadSettingDialog() : DialogFixture("settings_dialog") {}

    std::unique_ptr<CDownloadSettingDlg> Open() {
        return std::make_unique<CDownloadSettingDlg>(settings, resources);
    }
    static void Click(CDownloadSettingDlg& dialog, int region) {
        QTest::mouseClick(dialog.RegionBox(region), Qt::LeftButton);
    }
};

TEST(RegionCheckBoxCycle, GoesUntickedTickedThirdStateUnticked) {
    TestApp();
    RegionCheckBox box;
    box.setTristate(true);
    EXPECT_EQ(box.checkState(), Qt::Unchecked);
    box.click();
    EXPECT_EQ(box.checkState(), Qt::Checked);
    box.click();
    EXPECT_EQ(box.checkState(), Qt::PartiallyChecked);
    box.click();
    EXPECT_EQ(box.checkState(), Qt::Unchecked);
}

TEST_F(DownloadSettingDialog, EnglishUserTicksUkSchools) {
    auto dialog = Open();
    EXPECT_EQ(dialog->SizeEdit()->text(), "320 Kb");
    EXPECT_EQ(dialog->RegionBox(0)->checkState(), Qt::PartiallyChecked);
    Click(*dialog, 1);
    EXPECT_EQ(dialog->RegionBox(1)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog->RegionBox(0)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(dialog->SizeEdit()->text(), "1720 Kb");
    EXPECT_EQ(settings.DownloadSizeKb, 1720);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(SettingsLines().at(1), "&c=0,1");
    EXPECT_EQ(SettingsLines().at(2), "1720");
}

TEST_F(DownloadSettingDialog, UnlockedBoxesToggleAndTheLockedOneStaysInTheThirdState) {
    auto dialog = Open();
    Click(*dialog, 3);
    EXPECT_EQ(dialog->SizeEdit()->text(), "490 Kb");
    Click(*dialog, 3);  // ticked -> third state, which the rules drop
    EXPECT_EQ(dialog->RegionBox(3)->checkState(), Qt::Unchecked);
    EXPECT_EQ(dialog->SizeEdit()->text(), "320 Kb");
    for (int i = 0; i < 3; ++i) {
        Click(*dialog, 0);
        EXPECT_EQ(dialog->RegionBox(0)->checkState(), Qt::PartiallyChecked);
        EXPECT_EQ(dialog->SizeEdit()->text(), "320 Kb");
    }
    Click(*dialog, 6);  // South Africa: ticked, size unchanged
    EXPECT_EQ(dialog->RegionBox(6)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog->SizeEdit()->text(), "320 Kb");
}

TEST_F(DownloadSettingDialog, GermanTickingUkCamerasShowsItTickedWhenOpenedAgain) {
    ApplyLanguage(settings, resources, 8);
    {
        auto dialog = Open();
        EXPECT_EQ(dialog->RegionBox(4)->checkState(), Qt::PartiallyChecked);
        EXPECT_EQ(dialog->SizeEdit()->text(), "50 Kb");
        Click(*dialog, 0);
        EXPECT_EQ(dialog->SizeEdit()->text(), "370 Kb");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    }
    EXPECT_EQ(SettingsLines().at(1), "&c=0,4");
    EXPECT_EQ(SettingsLines().at(2), "370");
    auto again = Open();
    EXPECT_EQ(again->RegionBox(0)->checkState(), Qt::Checked);
    EXPECT_EQ(again->SizeEdit()->text(), "370 Kb");
}

TEST_F(DownloadSettingDialog, CancelKeepsTheClicksInMemoryOnly) {
    ApplyLanguage(settings, resources, 1);  // French: region 2 locked; writes &c=2
    auto dialog = Open();
    Click(*dialog, 1);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(SettingsLines().at(1), "&c=2") << "the file is unchanged";
    EXPECT_EQ(settings.DownloadSizeKb, 1500);
    settings.SaveSettings();  // the worker, before the next download
    EXPECT_EQ(SettingsLines().at(1), "&c=1,2");
}

TEST_F(DownloadSettingDialog, ControlsSitAtTheTemplatesPositionsInWhiteOnBlack) {
    auto dialog = Open();
    const DialogUnits units(dialog->font());
    EXPECT_EQ(dialog->size(), units.SizeToPixels(DialogTemplate::DownloadSettingSize));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    for (int region = 0; region < RegionCount; ++region)
        EXPECT_EQ(dialog->RegionBox(region)->geometry(), units.ToPixels(DialogTemplate::RegionBoxes[region]));
    EXPECT_EQ(dialog->OkButton()->geometry(), units.ToPixels(DialogTemplate::DownloadOk));
    EXPECT_EQ(dialog->CancelButton()->geometry(), units.ToPixels(DialogTemplate::DownloadCancel));
    EXPECT_EQ(dialog->SizeEdit()->geometry(), units.ToPixels(DialogTemplate::SizeEdit));
    // Check box 1004 is the Nordic region's, the one multi-line box: taller
    // than the others, and no box covers another (boxes that touch in units
    // may share a pixel row after rounding).
    EXPECT_EQ(dialog->findChild<QWidget*>("control1004"), dialog->RegionBox(5));
    for (int region = 0; region < RegionCount; ++region) {
        if (region != 5) {
            EXPECT_GT(dialog->RegionBox(5)->height(), dialog->RegionBox(region)->height()) << region;
        }
        EXPECT_TRUE(dialog->rect().contains(dialog->RegionBox(region)->geometry())) << region;
        for (int other = region + 1; other < RegionCount; ++other)
            EXPECT_LE(dialog->RegionBox(region)->geometry().intersected(dialog->RegionBox(other)->geometry()).height(), 1)
                << region << " " << other;
    }
    // OK and Cancel: one size, one row, OK on the left, below the boxes.
    EXPECT_EQ(dialog->OkButton()->size(), dialog->CancelButton()->size());
    EXPECT_EQ(dialog->OkButton()->y(), dialog->CancelButton()->y());
    EXPECT_LT(dialog->OkButton()->geometry().right(), dialog->CancelButton()->x());
    EXPECT_GT(dialog->OkButton()->y(), dialog->RegionBox(6)->geometry().bottom());
    EXPECT_TRUE(dialog->rect().contains(dialog->CancelButton()->geometry()));
    EXPECT_EQ(dialog->windowTitle(), "Orvo Safety Camera Download Setting");

    EXPECT_EQ(dialog->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(dialog->RegionBox(1)->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(dialog->findChild<QLabel*>("note")->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(dialog->SizeEdit()->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(dialog->SizeEdit()->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_NE(dialog->OkButton()->palette().color(QPalette::Button), QColor(Qt::black)) << "buttons keep their look";
}

// Every language's texts show whole inside the template's fixed controls.
TEST_F(DownloadSettingDialog, NoTextIsClippedInAnyLanguage) {
    for (int index : {0, 1, 2, 3, 4, 5, 8}) {
        ApplyLanguage(settings, resources, index);
        auto dialog = Open();
        for (int region = 0; region < RegionCount; ++region) {
            EXPECT_TRUE(ButtonTextFits(dialog->RegionBox(region)))
                << "language " << index << " region " << region << ": " << dialog->RegionBox(region)->text().toStdString()
                << " " << dialog->RegionBox(region)->fontMetrics().horizontalAdvance(dialog->RegionBox(region)->text());
        }
        EXPECT_TRUE(ButtonTextFits(dialog->OkButton())) << index;
        EXPECT_TRUE(ButtonTextFits(dialog->CancelButton())) << index;
        for (const char* name : {"note", "sizeLabel"}) {
            const auto* label = dialog->findChild<QLabel*>(name);
            EXPECT_TRUE(LabelTextFits(label)) << "language " << index << " " << name << " " << label->width() << "x"
                                              << label->height() << " needs " << label->minimumSizeHint().width()
                                              << "x" << label->heightForWidth(label->width());
        }
        const QLineEdit* edit = dialog->SizeEdit();
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()) + 8, edit->width());
        // ... and at the template's one size: no label smaller than its neighbours.
        for (const QWidget* control : dialog->findChildren<QWidget*>()) {
            EXPECT_EQ(control->font().pointSize(), DialogTemplate::PointSize)
                << "language " << index << " " << control->objectName().toStdString();
        }
    }
}

// Without a mouse: Tab reaches the boxes in reading order, Space ticks the
// focused one, Enter is OK and saves.
TEST_F(DownloadSettingDialog, WorksFromTheKeyboardAlone) {
    auto dialog = Open();
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    dialog->RegionBox(0)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dialog->RegionBox(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(dialog->RegionBox(1)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog->SizeEdit()->text(), "1720 Kb");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(SettingsLines().at(1), "&c=0,1");
}

}  // namespace

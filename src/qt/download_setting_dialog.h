#pragma once

#include <array>

#include <QCheckBox>
#include <QDialog>

#include "ui/region_table.h"

class QLabel;
class QLineEdit;
class QPushButton;
class Resources;
class SharedSettings;

// A three-state check box that cycles like the platform's automatic kind:
// unticked, ticked, third state, unticked.
class RegionCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
    // The whole control answers a click, not only its indicator and text.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// Dialog template 131: the seven regions, the expected download size, OK and
// Cancel. Clicks change the shared selection at once (Cancel keeps them in
// memory); OK also saves the settings file.
class CDownloadSettingDlg : public QDialog {
    Q_OBJECT
public:
    CDownloadSettingDlg(SharedSettings& settings, const Resources& resources, QWidget* parent = nullptr);

    // The box of region `region` (0 to 6).
    RegionCheckBox* RegionBox(int region) const { return boxes_[static_cast<std::size_t>(region)]; }
    QLineEdit* SizeEdit() const { return sizeEdit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QString SizeText() const { return sizeText_; }

private:
    void OnInitDialog();
    void OnRegionClicked();
    void OnOK();

    // Data exchange between slots 0-6, the size text and the controls.
    std::array<std::int32_t, RegionCount> ReadBoxes() const;
    void ShowSlots(const RegionSlots& slots);
    void ShowSize(std::int32_t sizeKb);

    SharedSettings& settings_;
    const Resources& resources_;
    std::array<RegionCheckBox*, RegionCount> boxes_{};
    QLineEdit* sizeEdit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString sizeText_;
};

// The download selection dialog as command 32772 runs it, modally.
void RunDownloadSelectionDialog(QWidget* parent, SharedSettings& settings, const Resources& resources);

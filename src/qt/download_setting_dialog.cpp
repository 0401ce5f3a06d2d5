#include "qt/download_setting_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialog_templates.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "qt/dialog_colours.h"
#include "qt/dialog_units.h"
#include "qt/text_fit.h"
#include "qt/window_placement.h"

namespace {

QString DialogText(const Resources& resources, int item) {
    return QString::fromStdString(resources.Text(ResourceKind::DialogItem, DialogTemplate::DownloadSetting, item));
}

std::int32_t SlotOf(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked: return RegionSelected;
    case Qt::PartiallyChecked: return RegionLocked;
    default: return RegionNotSelected;
    }
}

Qt::CheckState StateOf(std::int32_t slot) {
    switch (slot) {
    case RegionSelected: return Qt::Checked;
    case RegionLocked: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;  // anything else shows unticked
    }
}

}  // namespace

void RegionCheckBox::nextCheckState() {
    switch (checkState()) {
    case Qt::Unchecked: setCheckState(Qt::Checked); break;
    case Qt::Checked: setCheckState(Qt::PartiallyChecked); break;
    default: setCheckState(Qt::Unchecked); break;
    }
}

CDownloadSettingDlg::CDownloadSettingDlg(SharedSettings& settings, const Resources& resources, QWidget* parent)
    : QDialog(parent, FixedSizeWindowFlags(Qt::Dialog)), settings_(settings), resources_(resources) {
    using namespace DialogTemplate;
    settings_.ClearRegionSelection();
    setObjectName(QStringLiteral("dialog131"));
    setFont(DialogTemplateFont());
    const DialogUnits units(font());
    setFixedSize(units.SizeToPixels(DownloadSettingSize));
    setWindowTitle(DialogText(resources_, Caption));

    auto* note = new QLabel(this);
    note->setObjectName(QStringLiteral("note"));
    note->setGeometry(units.ToPixels(DownloadNoteRect));
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FitLabelText(note, DialogText(resources_, DownloadNote));

    for (int region = 0; region < RegionCount; ++region) {
        auto* box = new RegionCheckBox(this);
        box->setObjectName(QStringLiteral("control%1").arg(Regions[region].checkBoxId));
        box->setTristate(true);
        // The templates' boxes leave about three pixels between the box and
        // its text; the toolkit's own six would cost three of the label's.
        box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
        box->setGeometry(units.ToPixels(RegionBoxes[region]));
        FitButtonText(box, DialogText(resources_, Regions[region].checkBoxId), region == MultiLineRegion);
        connect(box, &QCheckBox::clicked, this, &CDownloadSettingDlg::OnRegionClicked);
        boxes_[static_cast<std::size_t>(region)] = box;
    }

    auto* sizeLabel = new QLabel(this);
    sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    sizeLabel->setGeometry(units.ToPixels(DownloadSizeLabelRect));
    FitLabelText(sizeLabel, DialogText(resources_, DownloadSizeLabel));

    sizeEdit_ = new QLineEdit(this);
    sizeEdit_->setObjectName(QStringLiteral("control%1").arg(SizeEditBox));
    sizeEdit_->setReadOnly(true);
    sizeEdit_->setFrame(true);
    sizeEdit_->setGeometry(units.ToPixels(DialogTemplate::SizeEdit));

    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("control%1").arg(DialogTemplate::OkButton));
    ok_->setGeometry(units.ToPixels(DownloadOk));
    ok_->setDefault(true);
    FitButtonText(ok_, DialogText(resources_, DialogTemplate::OkButton), false);
    connect(ok_, &QPushButton::clicked, this, &CDownloadSettingDlg::OnOK);

    cancel_ = new QPushButton(this);
    cancel_->setObjectName(QStringLiteral("control%1").arg(DialogTemplate::CancelButton));
    cancel_->setGeometry(units.ToPixels(DownloadCancel));
    cancel_->setAutoDefault(false);
    FitButtonText(cancel_, DialogText(resources_, DialogTemplate::CancelButton), false);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    ApplyDialogColours(this);
    OnInitDialog();
}

void CDownloadSettingDlg::OnInitDialog() {
    settings_.LoadRegionSelection();
    const std::int32_t sizeKb = settings_.ComputeDownloadSize();
    settings_.DownloadSizeKb = sizeKb;
    ShowSize(sizeKb);
    ShowSlots(settings_.RegionSelection());
}

void CDownloadSettingDlg::OnRegionClicked() {
    // The box has already moved on; the rules decide what all seven show.
    const RegionSlots slots = settings_.ApplyRegionStates(ReadBoxes());
    ShowSize(settings_.DownloadSizeKb);
    ShowSlots(slots);
}

void CDownloadSettingDlg::OnOK() {
    settings_.StoreRegionStates(ReadBoxes());
    settings_.SaveSettings();
    accept();
}

std::array<std::int32_t, RegionCount> CDownloadSettingDlg::ReadBoxes() const {
    std::array<std::int32_t, RegionCount> states{};
    for (int region = 0; region < RegionCount; ++region)
        states[static_cast<std::size_t>(region)] = SlotOf(boxes_[static_cast<std::size_t>(region)]->checkState());
    return states;
}

void CDownloadSettingDlg::ShowSlots(const RegionSlots& slots) {
    for (int region = 0; region < RegionCount; ++region)
        boxes_[static_cast<std::size_t>(region)]->setCheckState(StateOf(slots[static_cast<std::size_t>(region)]));
}

void CDownloadSettingDlg::ShowSize(std::int32_t sizeKb) {
    sizeText_ = QStringLiteral("%1 Kb").arg(sizeKb);
    sizeEdit_->setText(sizeText_);
}

void RunDownloadSelectionDialog(QWidget* parent, SharedSettings& settings, const Resources& resources) {
    CDownloadSettingDlg dialog(settings, resources, parent);
    dialog.exec();
}

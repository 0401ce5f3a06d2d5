#include "qt/history_dialogs.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/dialog_templates.h"
#include "ui/history_tables.h"
#include "ui/localised_text.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "qt/dialog_colours.h"
#include "qt/dialog_units.h"
#include "qt/window_placement.h"

namespace {

// Both dialogs in dialog units, as the templates are sized: wide enough for
// the columns at the designed font in every language.
constexpr DialogTemplate::UnitRect HistorySize{0, 0, 520, 220};
constexpr DialogTemplate::UnitRect RestoreSize{0, 0, 260, 150};
QString Text(const Resources& resources, int id) { return QString::fromStdString(resources.String(id)); }

QString WithValue(const Resources& resources, int id, const std::string& value) {
    return Text(resources, id).replace(QStringLiteral("%1"), QString::fromStdString(value));
}

// The date written as the Orvo's date stamp writes it ("08.12.26"), so that
// a row holds one date format.
std::string WhenText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd.MM.yy HH:mm")).toStdString();
}

// A read-only table that is walked row by row with the keyboard.
QTableWidget* MakeTable(QWidget* parent, const Resources& resources, const TableText& text) {
    auto* table = new QTableWidget(static_cast<int>(text.rows.size()), static_cast<int>(text.headingIds.size()), parent);
    QStringList headings;
    for (const int id : text.headingIds)
        headings << Text(resources, id);
    table->setHorizontalHeaderLabels(headings);
    for (int row = 0; row < table->rowCount(); ++row) {
        const std::vector<std::string>& cells = text.rows[static_cast<std::size_t>(row)];
        for (int column = 0; column < table->columnCount() && column < static_cast<int>(cells.size()); ++column)
            table->setItem(row, column, new QTableWidgetItem(QString::fromStdString(cells[static_cast<std::size_t>(column)])));
    }
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false);
    table->setWordWrap(true);
    table->setAlternatingRowColors(true);
    return table;
}

// Columns as wide as their contents, the last one taking the rest and
// wrapping what does not fit there; rows as high as their lines.
void FitColumns(QTableWidget* table) {
    table->resizeColumnsToContents();
    table->horizontalHeader()->setSectionResizeMode(table->columnCount() - 1, QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (table->rowCount() > 0)
        table->setCurrentCell(0, 0);
}

// The designed size, but never larger than the screen the dialog opens on:
// the table scrolls and wraps what no longer fits.
void SetUpDialog(QDialog* dialog, const Resources& resources, int captionId, const DialogTemplate::UnitRect& size) {
    dialog->setFont(DialogTemplateFont());
    const QSize designed = DialogUnits(dialog->font()).SizeToPixels(size);
    const QWidget* anchor = dialog->parentWidget() != nullptr ? dialog->parentWidget() : dialog;
    const QScreen* screen = anchor->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    const DialogFit fit = FitDialogToScreen({designed.width(), designed.height()},
                                            {available.width(), available.height()});
    dialog->setFixedSize(fit.width, fit.height);
    dialog->setWindowTitle(Text(resources, captionId));
}

}  // namespace

DialogFit FitDialogToScreen(DialogFit designed, DialogFit available) {
    // A frame and a title bar still have to fit around the dialog.
    constexpr int kFrameAllowance = 48;
    if (available.width <= 0 || available.height <= 0)
        return designed;
    return {std::max(1, std::min(designed.width, available.width - kFrameAllowance)),
            std::max(1, std::min(designed.height, available.height - kFrameAllowance))};
}

CHistoryDlg::CHistoryDlg(const std::vector<HistoryRecord>& records, const Resources& resources, QWidget* parent)
    : QDialog(parent, FixedSizeWindowFlags(Qt::Dialog)) {
    using namespace ResourceId;
    setObjectName(QStringLiteral("historyDialog"));
    SetUpDialog(this, resources, HistoryCaption, HistorySize);

    table_ = MakeTable(this, resources, HistoryTable(records, resources, WhenText));
    table_->setAccessibleName(Text(resources, HistoryCaption));
    // A long cause is read in full where the column cuts it.
    constexpr int kCauseColumn = 6;
    for (int row = 0; row < table_->rowCount(); ++row)
        table_->item(row, kCauseColumn)->setToolTip(table_->item(row, kCauseColumn)->text());
    FitColumns(table_);

    empty_ = new QLabel(Text(resources, HistoryEmptyText), this);
    empty_->setVisible(records.empty());

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(Text(resources, CloseButtonText), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(empty_);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    ApplyDialogColours(this);
    table_->setFocus(Qt::OtherFocusReason);
}

CRestoreDlg::CRestoreDlg(const std::string& serial, const std::vector<BackupInfo>& backups,
                         const Resources& resources, QWidget* parent)
    : QDialog(parent, FixedSizeWindowFlags(Qt::Dialog)), backups_(backups) {
    using namespace ResourceId;
    setObjectName(QStringLiteral("restoreDialog"));
    SetUpDialog(this, resources, RestoreCaption, RestoreSize);

    auto* intro = new QLabel(WithValue(resources, RestoreIntroText, serial), this);
    intro->setWordWrap(true);

    table_ = MakeTable(this, resources, RestoreTable(backups_, resources, WhenText));
    table_->setAccessibleName(Text(resources, RestoreCaption));
    intro->setBuddy(table_);
    FitColumns(table_);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);

    // OK and Cancel as the language dialog names them.
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(
        QString::fromStdString(resources.Text(ResourceKind::DialogItem, DialogTemplate::Language,
                                              DialogTemplate::OkButton)),
        QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromStdString(resources.Text(ResourceKind::DialogItem, DialogTemplate::Language,
                                                             DialogTemplate::CancelButton)),
                       QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    ApplyDialogColours(this);
    table_->setFocus(Qt::OtherFocusReason);
}

std::int64_t CRestoreDlg::ChosenBackupId() const {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(backups_.size()))
        return 0;
    return backups_[static_cast<std::size_t>(row)].id;
}

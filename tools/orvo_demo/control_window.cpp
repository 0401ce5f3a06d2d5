#include "orvo_demo/control_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include "demo_support/demo_bench.h"
#include "qt/window_placement.h"

DemoControlWindow::DemoControlWindow(DemoBench& bench, const QString& serial, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      serial_(new QLineEdit(serial, this)),
      plugged_(new QListWidget(this)),
      fault_(new QComboBox(this)),
      note_(new QLabel(this)) {
    // A window of its own, but one that goes with the updater's window; it
    // keeps the size its contents need.
    setWindowFlags(FixedSizeWindowFlags(Qt::Window, true));
    setWindowTitle(QStringLiteral("Orvo demo bench"));
    // Serials are seven characters; letters and digits are what an Orvo carries.
    serial_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Za-z]{7}")), serial_));
    serial_->setMaxLength(7);

    auto* plug = new QPushButton(QStringLiteral("Plug in"), this);
    auto* unplug = new QPushButton(QStringLiteral("Unplug selected"), this);
    connect(plug, &QPushButton::clicked, this, &DemoControlWindow::PlugClicked);
    connect(unplug, &QPushButton::clicked, this, &DemoControlWindow::UnplugClicked);

    const DemoFault chosen = bench_.NextFault();
    for (const DemoFaultOption& option : DemoFaultOptions()) {
        fault_->addItem(QString::fromUtf8(DemoFaultName(option.fault)));
        if (option.fault == chosen)
            fault_->setCurrentIndex(fault_->count() - 1);
    }
    connect(fault_, &QComboBox::currentIndexChanged, this, &DemoControlWindow::FaultChosen);

    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(serial_);
    serialRow->addWidget(plug);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Serial:"), serialRow);
    form->addRow(QStringLiteral("Plugged in:"), plugged_);
    form->addRow(QString(), unplug);
    form->addRow(QStringLiteral("Next cycle's fault:"), fault_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note_);
    note_->setWordWrap(true);
    if (!bench_.Available())
        note_->setText(QStringLiteral("Not in this build: %1.").arg(QString::fromStdString(bench_.Missing())));
    RefreshPlugged();
    // A device can also leave by itself (the unplug fault).
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, &DemoControlWindow::RefreshPlugged);
    refresh->start(250);
    adjustSize();
    setFixedSize(size());
}

void DemoControlWindow::PlugClicked() {
    if (!bench_.Plug(serial_->text().toStdString()))
        note_->setText(QStringLiteral("Could not plug in %1 (a serial is 7 letters or digits, not already plugged in).")
                           .arg(serial_->text()));
    RefreshPlugged();
}

void DemoControlWindow::UnplugClicked() {
    const QListWidgetItem* item = plugged_->currentItem();
    if (item == nullptr && plugged_->count() == 1)
        item = plugged_->item(0);
    if (item != nullptr)
        bench_.Unplug(item->text().toStdString());
    RefreshPlugged();
}

void DemoControlWindow::FaultChosen(int index) {
    const auto options = DemoFaultOptions();
    if (index >= 0 && static_cast<std::size_t>(index) < options.size())
        bench_.SetNextFault(options[static_cast<std::size_t>(index)].fault);
}

void DemoControlWindow::RefreshPlugged() {
    QStringList serials;
    for (const std::string& serial : bench_.Plugged())
        serials << QString::fromStdString(serial);
    QStringList shown;
    for (int i = 0; i < plugged_->count(); ++i)
        shown << plugged_->item(i)->text();
    if (serials == shown)
        return;  // keeps the user's selection
    plugged_->clear();
    plugged_->addItems(serials);
}

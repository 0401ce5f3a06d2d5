#pragma once

#include <QWidget>

class DemoBench;
class QComboBox;
class QLineEdit;
class QListWidget;
class QLabel;

// The demo's own small window beside the updater: plugs and unplugs virtual
// Orvos by serial and picks the fault the next cycle meets.
class DemoControlWindow : public QWidget {
    Q_OBJECT
public:
    // Starts with `serial` in the serial field and the bench's next fault
    // chosen.
    DemoControlWindow(DemoBench& bench, const QString& serial, QWidget* parent = nullptr);

private:
    void PlugClicked();
    void UnplugClicked();
    void FaultChosen(int index);
    void RefreshPlugged();

    DemoBench& bench_;
    QLineEdit* serial_;
    QListWidget* plugged_;
    QComboBox* fault_;
    QLabel* note_;
};

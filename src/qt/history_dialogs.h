#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>

#include "history/history_store.h"

class QLabel;
class QPushButton;
class QTableWidget;
class Resources;

// "Update history…": every recorded cycle, newest first, one row each:
// started, serial, source, outcome, cameras before -> after, database dates
// before -> after, cause. The table has the focus; Enter or Escape closes.
class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    CHistoryDlg(const std::vector<HistoryRecord>& records, const Resources& resources, QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QLabel* EmptyLabel() const { return empty_; }

private:
    QTableWidget* table_;
    QLabel* empty_;
};

// "Restore previous database…": the databases kept from one Orvo, newest
// first (date, cameras, when kept). The newest is chosen at first; OK (or
// Enter, or a double click) takes the chosen one.
class CRestoreDlg : public QDialog {
    Q_OBJECT
public:
    CRestoreDlg(const std::string& serial, const std::vector<BackupInfo>& backups, const Resources& resources,
                QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QPushButton* OkButton() const { return ok_; }
    // The kept database of the chosen row, 0 when none is chosen.
    std::int64_t ChosenBackupId() const;

private:
    std::vector<BackupInfo> backups_;
    QTableWidget* table_;
    QPushButton* ok_;
};

// A dialog's size in pixels, bounded by the screen's available area so that
// its buttons stay on the screen; an unknown area (0) bounds nothing.
struct DialogFit {
    int width = 0;
    int height = 0;
};
DialogFit FitDialogToScreen(DialogFit designed, DialogFit available);

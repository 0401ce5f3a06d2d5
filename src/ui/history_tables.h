#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "history/history_store.h"

class Resources;

// The texts of the history and restore dialogs' tables, in the language in
// force: column headings by string id, then one row of cell texts per record.
struct TableText {
    std::vector<int> headingIds;
    std::vector<std::vector<std::string>> rows;
};

// A moment (ms since 1970) as the dialogs show it: local "dd.mm.yy hh:mm".
using WhenFormat = std::function<std::string(std::int64_t ms)>;

// Started, serial, source, outcome, cameras before -> after, database dates
// before -> after, cause; in the records' order (the store gives the newest first).
TableText HistoryTable(const std::vector<HistoryRecord>& records, const Resources& resources,
                       const WhenFormat& when);
// Database date, cameras, when kept; in the backups' order.
TableText RestoreTable(const std::vector<BackupInfo>& backups, const Resources& resources, const WhenFormat& when);

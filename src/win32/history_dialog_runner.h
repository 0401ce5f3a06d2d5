#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "history/history_store.h"

class Resources;

// "Update history…": every recorded cycle in a read-only table, newest
// first; Close, Enter or Esc closes it.
void RunHistoryDialog(HWND owner, const std::vector<HistoryRecord>& records, const Resources& resources);

// "Restore previous database…": the databases kept from the Orvo `serial`,
// newest first and chosen at first. Returns the chosen backup's id when the
// dialog closes with OK (or Enter, or a double click), 0 otherwise.
std::int64_t RunRestoreDialog(HWND owner, const std::string& serial, const std::vector<BackupInfo>& backups,
                              const Resources& resources);

// A moment (ms since 1970) in local time as "dd.mm.yy hh:mm".
std::string LocalWhen(std::int64_t ms);

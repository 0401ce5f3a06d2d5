#pragma once

#include <string>

#include "history/history_store.h"
#include "tool_support/json_writer.h"

// What the Orvo holds, as every JSON output of orvo-tool writes it, under
// "database_WHEN", "date_WHEN" and "records_WHEN" (WHEN empty: no suffix):
// not read is null in all three; no database is database false with records
// 0 and date null; a database is true with its records and the date stamp's
// day ("2026-12-01", null when it has none).
void AddHoldings(JsonObject& object, const std::string& when, const DatabaseHoldings& holdings);

// One cycle of the history, as `history --json` lists it and `update --json`
// prints the cycle it ran.
std::string HistoryRecordJson(const HistoryRecord& record);

// Backup `number` (1: the newest) of `restore --list --json`.
std::string BackupJson(std::size_t number, const BackupInfo& backup);

#include "ui/history_tables.h"

#include "ui/localised_text.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

constexpr const char* Nothing = "\u2013";
constexpr const char* Arrow = " \u2192 ";

std::string WhenText(std::int64_t ms, const WhenFormat& when) { return ms <= 0 ? Nothing : when(ms); }

std::string CamerasText(const DatabaseHoldings& holdings, const Resources& resources) {
    if (!holdings.known || !holdings.hasDatabase)
        return Nothing;
    return GroupedNumber(resources, holdings.records);
}

std::string DateText(const DatabaseHoldings& holdings) {
    return holdings.known && holdings.hasDatabase && !holdings.date.empty() ? holdings.date : Nothing;
}

int SourceTextId(CycleSource source) {
    switch (source) {
    case CycleSource::File: return ResourceId::SourceFileText;
    case CycleSource::Restore: return ResourceId::SourceRestoreText;
    case CycleSource::Server: break;
    }
    return ResourceId::SourceServerText;
}

int OutcomeTextId(const std::optional<CycleOutcome>& outcome) {
    if (!outcome)
        return ResourceId::OutcomeRunningText;
    switch (*outcome) {
    case CycleOutcome::Succeeded: return ResourceId::OutcomeSucceededText;
    case CycleOutcome::AlreadyCurrent: return ResourceId::OutcomeAlreadyCurrentText;
    case CycleOutcome::Interrupted: return ResourceId::OutcomeInterruptedText;
    case CycleOutcome::Kept: return ResourceId::OutcomeKeptText;
    case CycleOutcome::Failed: break;
    }
    return ResourceId::OutcomeFailedText;
}

// The cause as kept: a code with values in the language in force; the
// store's own note of a cut-off cycle in that language too; else the stored text.
std::string CauseText(const HistoryRecord& record, const Resources& resources) {
    if (record.causeId == 0 && record.cause == HistoryStore::InterruptedCause)
        return resources.String(ResourceId::InterruptedCauseText);
    return TextInForce(resources, record.causeId, record.causeArgs, record.cause);
}

}  // namespace

TableText HistoryTable(const std::vector<HistoryRecord>& records, const Resources& resources,
                       const WhenFormat& when) {
    using namespace ResourceId;
    TableText table{{HistoryStartedColumn, HistorySerialColumn, HistorySourceColumn, HistoryOutcomeColumn,
                     CamerasColumn, DatabaseDateColumn, HistoryCauseColumn},
                    {}};
    for (const HistoryRecord& record : records) {
        table.rows.push_back({
            WhenText(record.startedMs, when),
            record.serial,
            resources.String(SourceTextId(record.source)),
            resources.String(OutcomeTextId(record.outcome)),
            CamerasText(record.before, resources) + Arrow + CamerasText(record.after, resources),
            DateText(record.before) + Arrow + DateText(record.after),
            CauseText(record, resources),
        });
    }
    return table;
}

TableText RestoreTable(const std::vector<BackupInfo>& backups, const Resources& resources, const WhenFormat& when) {
    using namespace ResourceId;
    TableText table{{DatabaseDateColumn, CamerasColumn, KeptColumn}, {}};
    for (const BackupInfo& backup : backups) {
        table.rows.push_back({
            backup.date.empty() ? Nothing : backup.date,
            CamerasText(DatabaseHoldings{true, true, backup.date, backup.records}, resources),
            WhenText(backup.keptMs, when),
        });
    }
    return table;
}

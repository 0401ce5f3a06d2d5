#include "cycle_json.h"

namespace {

std::string Suffixed(const char* name, const std::string& when) {
    return when.empty() ? name : std::string(name) + "_" + when;
}

std::string PhasesJson(const PhaseDurations& durations) {
    JsonObject phases;
    for (std::size_t p = 0; p < CyclePhaseCount; ++p)
        if (durations[p].count() != 0)
            phases.Number(PhaseName(static_cast<CyclePhase>(p)), durations[p].count());
    return phases.Text();
}

}  // namespace

void AddHoldings(JsonObject& object, const std::string& when, const DatabaseHoldings& holdings) {
    if (!holdings.known) {
        object.Null(Suffixed("database", when)).Null(Suffixed("date", when)).Null(Suffixed("records", when));
        return;
    }
    object.Bool(Suffixed("database", when), holdings.hasDatabase);
    object.Raw(Suffixed("date", when), holdings.hasDatabase ? JsonStampDate(holdings.date) : "null");
    object.Number(Suffixed("records", when), holdings.hasDatabase ? holdings.records : 0);
}

std::string HistoryRecordJson(const HistoryRecord& r) {
    JsonObject object;
    if (r.id != 0)
        object.Number("id", r.id);
    else
        object.Null("id");
    object.String("serial", r.serial)
        .Raw("started", JsonTime(r.startedMs))
        .Raw("ended", r.endedMs != 0 ? JsonTime(r.endedMs) : "null")
        .String("source", SourceName(r.source))
        .String("outcome", r.outcome ? OutcomeName(*r.outcome) : "running")
        .String("cause", r.cause);
    if (r.causeId != 0)
        object.Number("cause_id", r.causeId).Raw("cause_values", JsonStringList(r.causeArgs));
    else
        object.Null("cause_id").Raw("cause_values", "[]");
    AddHoldings(object, "before", r.before);
    AddHoldings(object, "after", r.after);
    object.Number("bytes_downloaded", static_cast<std::int64_t>(r.bytesDownloaded))
        .Raw("phases_ms", PhasesJson(r.durations));
    return object.Text();
}

std::string BackupJson(std::size_t number, const BackupInfo& backup) {
    JsonObject object;
    object.Number("number", static_cast<std::int64_t>(number)).String("serial", backup.serial);
    AddHoldings(object, "", {true, true, backup.date, backup.records});
    object.Raw("kept", JsonTime(backup.keptMs));
    return object.Text();
}

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/history_tables.h"

namespace {

std::string When(std::int64_t ms) { return "at " + std::to_string(ms); }

// German where it differs from English in what these tables show.
class GermanSource : public ResourceSource {
public:
    std::optional<std::string> Find(ResourceKind kind, int id, int) const override {
        if (kind != ResourceKind::String)
            return std::nullopt;
        switch (id) {
        case ResourceId::DigitGroupSeparator: return std::string(".");
        case ResourceId::OutcomeSucceededText: return std::string("erfolgreich");
        case ResourceId::InterruptedCauseText: return std::string("Programm beendet");
        default: return std::nullopt;
        }
    }
};

}  // namespace

TEST(HistoryTables, ARowSaysWhatTheCycleDidInTheLanguageInForce) {
    Resources resources;
    resources.Switch(std::make_shared<GermanSource>());
    HistoryRecord done;
    done.startedMs = 1000;
    done.serial = "0012345";
    done.outcome = CycleOutcome::Succeeded;
    done.before = DatabaseHoldings{true, true, "01.12.26", 12000};
    done.after = DatabaseHoldings{true, true, "08.12.26", 12345};
    HistoryRecord cutOff;
    cutOff.serial = "0012346";
    cutOff.source = CycleSource::File;
    cutOff.outcome = CycleOutcome::Interrupted;
    cutOff.cause = HistoryStore::InterruptedCause;
    HistoryRecord running;  // no outcome yet, nothing known of the Orvo

    const TableText table = HistoryTable({done, cutOff, running}, resources, When);
    ASSERT_EQ(table.headingIds.size(), 7u);
    EXPECT_EQ(table.headingIds.front(), ResourceId::HistoryStartedColumn);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0][0], "at 1000");
    EXPECT_EQ(table.rows[0][3], "erfolgreich");
    EXPECT_EQ(table.rows[0][4], "12.000 \u2192 12.345");
    EXPECT_EQ(table.rows[0][5], "01.12.26 \u2192 08.12.26");
    EXPECT_EQ(table.rows[1][2], resources.String(ResourceId::SourceFileText));
    EXPECT_EQ(table.rows[1][6], "Programm beendet");
    // A moment or database nobody knows is a dash, never "0" or a 1970 date.
    EXPECT_EQ(table.rows[2][0], "\u2013");
    EXPECT_EQ(table.rows[2][3], resources.String(ResourceId::OutcomeRunningText));
    EXPECT_EQ(table.rows[2][4], "\u2013 \u2192 \u2013");
}

TEST(HistoryTables, RestoreRowsKeepTheBackupsOrder) {
    Resources resources;
    const TableText table =
        RestoreTable({BackupInfo{7, "0012345", 2000, "08.12.26", 1234}, BackupInfo{5, "0012345", 1000, "", 0}},
                     resources, When);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0], (std::vector<std::string>{"08.12.26", "1,234", "at 2000"}));
    EXPECT_EQ(table.rows[1][0], "\u2013");  // kept without a date stamp
}

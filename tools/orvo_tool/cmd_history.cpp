#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "common/program_folder.h"
#include "history/history_store.h"
#include "cycle_json.h"
#include "updater_locations.h"

// Prints the update history that the updater keeps beside its settings,
// newest first.

namespace {

// The history file the updater beside this program uses; found without
// making any folder.
std::string UpdaterHistoryFile() { return UpdaterLocations(false).historyFile; }

std::string LocalTimeText(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    if (::localtime_r(&seconds, &parts) == nullptr)
        return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

const char* Outcome(const HistoryRecord& record) {
    return record.outcome ? OutcomeName(*record.outcome) : "running";
}

std::string HoldingsText(const DatabaseHoldings& holdings) {
    if (!holdings.known)
        return "not read";
    if (!holdings.hasDatabase)
        return "no database";
    return std::to_string(holdings.records) + (holdings.date.empty() ? "" : " of " + PrintableText(holdings.date));
}

void PrintTable(const std::vector<HistoryRecord>& records) {
    std::printf("%-19s  %-8s %-8s %-16s %-20s %-20s %s\n", "started", "serial", "source", "outcome", "before",
                "after", "cause");
    for (const HistoryRecord& record : records)
        std::printf("%-19s  %-8s %-8s %-16s %-20s %-20s %s\n", LocalTimeText(record.startedMs).c_str(),
                    PrintableText(record.serial).c_str(), SourceName(record.source), Outcome(record),
                    HoldingsText(record.before).c_str(), HoldingsText(record.after).c_str(),
                    PrintableText(record.cause).c_str());
}

void PrintJson(const std::vector<HistoryRecord>& records) {
    std::vector<std::string> items;
    for (const HistoryRecord& record : records)
        items.push_back(HistoryRecordJson(record));
    std::printf("%s\n", JsonList(items).c_str());
}

int RunHistory(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string serial;
    std::string file;
    const bool hasSerial = TakeOption(args, "--serial", serial);
    const bool hasFile = TakeOption(args, "--file", file);
    const bool json = TakeFlag(args, "--json");
    if (!args.empty())
        return RejectLeftovers(args);
    if ((hasSerial && serial.empty()) || (hasFile && file.empty()))
        return UsageError("--serial and --file need a value");
    if (!hasFile)
        file = UpdaterHistoryFile();

    std::error_code error;
    if (std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error)) {
        std::fprintf(stderr, "%s%s is not a regular file\n", CommandPrefix().c_str(), file.c_str());
        return ExitFailure;
    }
    std::string problem;
    const HistoryStore store(file, [&problem](const std::string& text) { problem = text; },
                             HistoryStore::Open::ReadOnly);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), problem.c_str());
        return ExitFailure;
    }
    const std::vector<HistoryRecord> records = store.Records(serial);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), problem.c_str());
        return ExitFailure;
    }
    if (json)
        PrintJson(records);
    else if (records.empty())
        std::printf("no update recorded in %s\n", file.c_str());
    else
        PrintTable(records);
    return ExitSuccess;
}

const CommandRegistration registration{
    "history", "[--serial S] [--json] [--file FILE]",
    "print the update history, newest first", &RunHistory,
    "--serial S   only the cycles of the Orvo with serial S\n"
    "--json       a JSON list of objects: id, serial, started and ended (UTC, ISO 8601; ended is null\n"
    "             while running or when cut off), source, outcome (\"running\" while the cycle runs),\n"
    "             cause (stable English), cause_id and cause_values (the cause's string id and values),\n"
    "             database_before, date_before, records_before and the same _after (all null when\n"
    "             not read; database false, records 0, date null for no database; date as 2026-12-01),\n"
    "             bytes_downloaded, phases_ms\n"
    "--file FILE  read FILE instead of the history of the updater beside this program\n"
    "A missing history is an empty one. Exit code 1 for a file that cannot be read.",
    "orvo-tool history --serial 0012345 --json"};

}  // namespace

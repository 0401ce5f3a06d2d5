#pragma once

#include <memory>
#include <string>

#include "update/sleep_guard.h"
#include "qt/updater_services.h"
#include "common/program_folder.h"
#include "history/history_store.h"

class Resources;

// What the window keeps of its cycles: the history with its backups (the
// engine's recorder writes it), where the engine's log goes, and the sleep
// inhibitor that the engine's sleep guard holds while the Orvo is written.
// Made before the window and ended after it, so all outlive the engine. A
// history that cannot be used is told once (a message box naming the file)
// and never stops an update.
class CycleKeeping {
public:
    CycleKeeping(const FileLocations& locations, const Resources& resources);
    CycleKeeping(const CycleKeeping&) = delete;
    CycleKeeping& operator=(const CycleKeeping&) = delete;

    HistoryStore& History() { return store_; }
    const std::string& LogFolder() const { return logFolder_; }

    // Hands the history, the log folder and the inhibitor to the window.
    void Wire(UpdaterServices& services);

private:
    std::string logFolder_;
    HistoryStore store_;
    std::unique_ptr<SleepInhibitorPort> inhibitor_;
};

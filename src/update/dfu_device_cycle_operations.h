#pragma once

#include <functional>

#include "update/cycle_operations.h"

class HistoryStore;

// The cycle's operations carried out by the program's CDfuDevice. Saving the
// settings and interrupting a blocking step belong to other parts of the
// program, which the application wires in here.
class DfuDeviceCycleOperations final : public CycleOperations {
public:
    struct Hooks {
        std::function<void(CDfuDevice&)> saveSettings;  // rebuilds the region fragment, writes the file
        std::function<void()> interrupt;               // aborts a download / running DFU operation
        // Keeps the database a write replaces and gives back kept ones for a
        // restore; null: nothing is kept. Outlives the worker.
        HistoryStore* history = nullptr;
    };

    DfuDeviceCycleOperations(CDfuDevice& device, Hooks hooks);

    bool FindDevice() override;
    bool IsAttached(const std::string& path) override;
    IdentifyResult IdentifyDevice() override;
    void SaveSettings() override;
    DownloadResult DownloadDatabase() override;
    std::string PrepareDatabase(const std::string& base) override;
    DatabaseWriteResult UpgradeDevice(const std::string& base) override;
    bool WriteDateStamp() override;
    void ShowMessage(const std::string& text) override;
    void DeleteWorkingFiles() override;
    void Interrupt() override;

private:
    CDfuDevice& device_;
    Hooks hooks_;
};

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
        std::function<void()> saveSettings;            // rebuilds the region fragment, writes the file
        std::function<std::int32_t()> downloadSizeKb;  // the settings' DownloadSizeKb
        std::function<void()> interrupt;               // aborts a download / running DFU operation
        std::function<bool()> findDevice;              // a fresh look for the device; null: FindDeviceNow
        std::function<std::string()> serverHost;       // "host" or "host:port", at each download's start
        // Keeps the database a write replaces and gives back kept ones for a
        // restore; null: nothing is kept. Outlives the worker.
        HistoryStore* history = nullptr;
    };

    DfuDeviceCycleOperations(CDfuDevice& device, Hooks hooks);

    bool FindDevice() override;
    bool IsAttached(const std::string& path) override;
    IdentifyResult IdentifyDevice() override;
    void SaveSettings() override;
    std::int32_t DownloadSizeKb() override;
    DownloadResult DownloadDatabase() override;
    DatabaseHoldings ReadHoldings() override;
    PrepareOutcome PrepareDatabase(const std::string& base) override;
    std::string BackupSerial(std::int64_t backupId) override;
    PrepareOutcome PrepareRequest(const CycleRequest& request, const std::string& base) override;
    std::uint32_t PreparedRecords(const std::string& base) override;
    DatabaseWriteResult UpgradeDevice(const std::string& base) override;
    bool WriteDateStamp() override;
    void DeleteWorkingFiles() override;
    void Interrupt() override;
    std::string RequestProblem() const override { return requestProblem_; }

private:
    // The conversion of base + ".txt" and its DFU file.
    PrepareOutcome Convert(const std::string& base);
    PrepareOutcome PrepareFile(const std::string& file, const std::string& base);
    PrepareOutcome PrepareRestore(std::int64_t backupId, const std::string& base);
    // Reads the database about to be replaced and keeps it; false when it
    // cannot be read.
    bool KeepReplacedDatabase();

    CDfuDevice& device_;
    Hooks hooks_;
    // The date stamp a restore writes back; empty: today's.
    std::string restoredDateStamp_;
    // Why the user's file or the backup was refused.
    std::string requestProblem_;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "device/dfu_types.h"
#include "update/guarded_text.h"

class ProgressBarPort;
class MessageBoxPort;
struct CycleSignals;
class DfuLibrary;

// How identification ended for its caller.
enum class IdentifyResult {
    Accepted,
    Rejected,
    Unreadable,  // the identity block could not be read back
};

// The single device-access object: finds the Orvo, runs DFU operations on it,
// and carries the values the update cycle shares. Operations are defined in
// the source files of the folder that owns them (device/, database/).
class CDfuDevice {
public:
    // `programPath` is the program's own executable path; its folder becomes
    // ProgramFolder.
    explicit CDfuDevice(const std::string& programPath);
    virtual ~CDfuDevice();
    CDfuDevice(const CDfuDevice&) = delete;
    CDfuDevice& operator=(const CDfuDevice&) = delete;

    // The UI side the operations report to. Not owned; set once at start-up
    // (or by a test) before any operation runs.
    void AttachUi(ProgressBarPort* progressBar, MessageBoxPort* messageBox, CycleSignals* signals);

    // --- discovery (device/discovery.cpp)
    bool FindDevice();

    // --- DFU operations and monitor (device/dfu_operations.cpp)
    // Each returns whether it succeeded; the texts the user sees stay those of
    // the operation itself.
    bool UpgradeDevice(const std::string& base);
    bool UploadFromDevice(const std::string& dfuPath);
    void MonitorOperation();
    void ShowError(const std::string& text);
    void ShowMessage(const std::string& text);

    // --- status texts (device/status_report.cpp)
    void ReportStatus(const DfuOperationContext& context);

    // --- identification (device/identification.cpp)
    int ConnectTest();
    IdentifyResult IdentifyDevice(const std::string& productName);

    // --- download request (database/download_request.cpp)
    std::string BuildDownloadQuery();
    // Returns whether the database text was stored; the update cycle ignores it.
    bool DownloadDatabase();

    // --- conversion (database/database_conversion.cpp)
    std::string PrepareDatabase(const std::string& base);

    // --- DFU file preparation (database/dfu_preparation.cpp)
    void AddElementFile(const std::string& fileName, std::uint32_t address);
    bool BuildImage(int alternateSetting);
    bool WriteDfuFile(const std::string& path);
    bool WriteDateStamp();

    // --- fields, in the order of the shared field table
    std::atomic<DfuHandle> OperationHandle{0};
    std::atomic<DfuHandle> KeptImage{0};
    std::atomic<std::int32_t> Target{0};
    std::atomic<std::int32_t> LanguageIndex{0};
    StatusTextHolder StatusText;
    std::string QueryHash;
    std::string QuerySerial;
    std::string LanguageFragment;
    std::string RegionFragment;
    std::atomic<std::int32_t> DownloadSizeKb{0};
    GuardedText DeviceSerial;
    GuardedText DeviceIdText;
    GuardedText DeviceProductName;
    std::atomic<std::int32_t> ProgressCounter{0};
    const std::string ProgramFolder;
    std::vector<std::string> ElementEntries;
    std::vector<std::string> ImageNames;
    GuardedText DevicePath;
    DfuMapping* Mapping = nullptr;
    std::vector<DfuHandle> Images;

    // Host of the update server ("host" or "host:port"); the build's default
    // unless a test, tool or the demo points it elsewhere.
    std::string ServerHost;
    // Raised at program end: a download in flight ends at once, and a DFU
    // operation is stopped instead of waited for.
    std::atomic<bool> DownloadAbort{false};

    // The DFU libraries the operations call: the product's own unless a test
    // stands in one that fails on demand. Not owned; set before any operation.
    void UseDfuLibrary(DfuLibrary* library);
    // Frees the memory map and the kept image unless an operation runs; the
    // destructor does so too. Lets a test release them while its library lives.
    void ReleaseOperationResources();

protected:
    ProgressBarPort* progressBar_ = nullptr;
    MessageBoxPort* messageBox_ = nullptr;
    CycleSignals* signals_ = nullptr;

private:
    // device/dfu_operations.cpp: the steps of the operations and the monitor.
    friend class DfuOperations;
    DfuLibrary* library_ = nullptr;
    // The outcome of the last operation, written by whoever releases the
    // waiting caller just before it does.
    std::atomic<bool> operationSucceeded_{false};
};

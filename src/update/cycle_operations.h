#pragma once

#include <cstdint>
#include <string>

#include "database/http_download.h"
#include "device/dfu_device.h"
#include "update/cycle_request.h"
#include "update/device_database.h"

// What a preparation of the database to write came to; the cycle looks up
// the texts it shows for each.
enum class PrepareOutcome : std::uint8_t {
    Ready,
    // The text (downloaded, or the user's file) held no record to write.
    NoValidRecord,
    // The text could not be read.
    TextUnreadable,
    // A working file could not be written.
    WorkingFilesFailed,
    // The restore's backup is no longer kept.
    BackupUnavailable,
    // The cycle refused the request before anything was prepared.
    Refused,
};

// The device and database operations one update cycle calls, in the order it
// calls them. The application uses DfuDeviceCycleOperations; tests use a fake
// so that the whole cycle runs without a device, a server or a disk.
// Everything here runs on the worker thread except Interrupt.
class CycleOperations {
public:
    virtual ~CycleOperations() = default;

    // True if a device is attached now, after a fresh look at the bus (a
    // scan's time at most). The clock's presence ticks read the device
    // watcher's list instead (CDfuDevice::FindDevice).
    virtual bool FindDevice() = 0;
    // True while the device at `path` (a DevicePath) is attached, whatever
    // else is; returns at once and changes nothing.
    virtual bool IsAttached(const std::string& path) = 0;
    // Reads the identity block; on acceptance DeviceSerial holds the serial.
    virtual IdentifyResult IdentifyDevice() = 0;
    // What the identified device holds now; not `known` when it cannot be read.
    virtual DatabaseHoldings ReadHoldings() = 0;
    // Rebuilds the region fragment and writes the settings file.
    virtual void SaveSettings() = 0;
    // The size in Kb of the regions the settings select; paces the
    // download's animation.
    virtual std::int32_t DownloadSizeKb() = 0;
    // Leaves the server's answer (if any) in the working ".txt" file. Whether
    // the cycle goes on is judged by PrepareDatabase, which must read that
    // file; the result only says what a failed download failed on.
    virtual DownloadResult DownloadDatabase() = 0;
    // Ready when the packed database and its DFU file are at `base`.
    virtual PrepareOutcome PrepareDatabase(const std::string& base) = 0;
    // The serial of the device a kept backup was read from; empty when there
    // is no such backup.
    virtual std::string BackupSerial(std::int64_t backupId) = 0;
    // Instead of the download and PrepareDatabase: leaves the requested
    // database (a file's text converted, or a kept backup) in the working
    // files as PrepareDatabase does, with the same result. A restore's date
    // stamp is the backup's own from then until the next preparation.
    virtual PrepareOutcome PrepareRequest(const CycleRequest& request, const std::string& base) = 0;
    // The record count of the database the last preparation left at `base`.
    virtual std::uint32_t PreparedRecords(const std::string& base) = 0;
    // Each returns once its write has ended. The database write says whether
    // it wrote, found the database already there, or failed; the date stamp
    // is true only if it really finished. A database that is replaced is kept
    // first (when there is somewhere to keep it); one that cannot be read
    // fails the write before anything is erased.
    virtual DatabaseWriteResult UpgradeDevice(const std::string& base) = 0;
    virtual bool WriteDateStamp() = 0;
    virtual void DeleteWorkingFiles() = 0;

    // Called on the thread that asks the worker to stop, so that a blocking
    // step (a download, a running DFU operation) can return early.
    virtual void Interrupt() {}

    // Why the last PrepareRequest or BackupSerial found the user's file or
    // the backup unusable ("is a FIFO, not a regular file", "the backup is
    // damaged: …"); empty when it did not say.
    virtual std::string RequestProblem() const { return {}; }
};

#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/dfu_device.h"
#include "update/cycle_operations.h"
#include "common/cycle_signals.h"
#include "simulated_view.h"

// A device that tests plug in and out.
struct FakeOrvo {
    std::string serial = "1234567";
    bool isOrvo = true;
    bool identityReadable = true;
    std::string path = "PORT_1";
};

// The cycle's operations without a device, server or disk. Each call is
// logged with the simulated time; the slow ones take simulated time through
// the view's clock, so the animation runs while they block.
class FakeCycleOperations : public CycleOperations {
public:
    struct Call {
        std::string name;
        std::int64_t at;
        std::string detail;
    };

    FakeCycleOperations(CDfuDevice& device, SimulatedView& view, CycleSignals& signals)
        : device_(device), view_(view), signals_(signals) {}

    // --- script (set before the worker starts, or from an OnCall hook)
    int downloadMs = 400;
    std::int32_t downloadSizeKb = 0;  // the settings' size, which paces the animation
    int prepareMs = 200;
    int upgradeMs = 300;
    std::optional<PrepareOutcome> prepareResult;  // unset: Ready
    DownloadResult downloadResult = StoredDownload();
    DatabaseWriteResult upgradeResult = DatabaseWriteResult::Written;
    bool dateStampSucceeds = true;
    DatabaseHoldings holdings;          // what ReadHoldings finds
    std::uint32_t preparedRecords = 0;  // the prepared database's count
    std::map<std::int64_t, std::string> backupSerials;
    // Runs on the worker thread at the start of each call, by name.
    std::function<void(const std::string&)> onCall;

    // A device plugged in at a path already taken replaces the one there.
    void Plug(FakeOrvo orvo) {
        std::lock_guard lock(mutex_);
        std::erase_if(attached_, [&](const FakeOrvo& o) { return o.path == orvo.path; });
        attached_.push_back(std::move(orvo));
    }
    void Unplug() {
        std::lock_guard lock(mutex_);
        attached_.clear();
    }
    void Unplug(const std::string& path) {
        std::lock_guard lock(mutex_);
        std::erase_if(attached_, [&](const FakeOrvo& o) { return o.path == path; });
    }

    std::vector<Call> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int Count(const std::string& name) const {
        const auto calls = Calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
    }
    std::vector<std::string> Details(const std::string& name) const {
        std::vector<std::string> details;
        for (const auto& call : Calls())
            if (call.name == name)
                details.push_back(call.detail);
        return details;
    }

    // --- CycleOperations
    // As discovery: the last device plugged in wins; its path stays when
    // nothing is attached.
    bool FindDevice() override {
        std::lock_guard lock(mutex_);
        if (attached_.empty())
            return false;
        device_.DevicePath.Set(attached_.back().path);
        return true;
    }
    bool IsAttached(const std::string& path) override {
        std::lock_guard lock(mutex_);
        return std::any_of(attached_.begin(), attached_.end(), [&](const FakeOrvo& o) { return o.path == path; });
    }
    IdentifyResult IdentifyDevice() override {
        const auto orvo = Attached();
        Log("identify", orvo ? orvo->serial : "", "showProgress=" + std::to_string(signals_.ShowProgress.load()));
        if (!orvo || !orvo->identityReadable)
            return IdentifyResult::Unreadable;
        if (!orvo->isOrvo)
            return IdentifyResult::Rejected;
        device_.DeviceSerial.Set(orvo->serial);
        return IdentifyResult::Accepted;
    }
    DatabaseHoldings ReadHoldings() override {
        Log("holdings");
        return holdings;
    }
    std::string BackupSerial(std::int64_t backupId) override {
        const auto found = backupSerials.find(backupId);
        return found == backupSerials.end() ? std::string() : found->second;
    }
    PrepareOutcome PrepareRequest(const CycleRequest& request, const std::string&) override {
        Log("request", SourceName(request.source));
        return prepareResult.value_or(PrepareOutcome::Ready);
    }
    std::uint32_t PreparedRecords(const std::string&) override { return preparedRecords; }
    void SaveSettings() override { Log("save"); }
    std::int32_t DownloadSizeKb() override { return downloadSizeKb; }
    DownloadResult DownloadDatabase() override {
        Log("download", device_.DeviceSerial.Get());
        view_.SleepFor(downloadMs);
        return downloadResult;
    }
    PrepareOutcome PrepareDatabase(const std::string& base) override {
        Log("prepare", base);
        view_.SleepFor(prepareMs);
        return prepareResult.value_or(PrepareOutcome::Ready);
    }
    DatabaseWriteResult UpgradeDevice(const std::string& base) override {
        const auto orvo = Attached();
        Log("upgrade", orvo ? orvo->serial : "");
        (void)base;
        view_.SleepFor(upgradeMs);
        return upgradeResult;
    }
    bool WriteDateStamp() override {
        const auto orvo = Attached();
        Log("datestamp", orvo ? orvo->serial : "");
        return dateStampSucceeds;
    }
    void DeleteWorkingFiles() override { Log("delete"); }
    void Interrupt() override {
        Log("interrupt", "", "", false);
        view_.InterruptSleep();
    }

private:
    static DownloadResult StoredDownload() {
        DownloadResult stored;
        stored.outcome = DownloadOutcome::Stored;
        return stored;
    }
    // The device the operations act on: the one at DevicePath.
    std::optional<FakeOrvo> Attached() const {
        const std::string path = device_.DevicePath.Get();
        std::lock_guard lock(mutex_);
        for (const FakeOrvo& orvo : attached_)
            if (orvo.path == path)
                return orvo;
        return std::nullopt;
    }
    void Log(const std::string& name, const std::string& detail = {}, const std::string& extra = {},
             bool runHook = true) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back({name, view_.Now(), extra.empty() ? detail : detail + " " + extra});
        }
        if (runHook && onCall)
            onCall(name);
    }

    CDfuDevice& device_;
    SimulatedView& view_;
    CycleSignals& signals_;
    mutable std::mutex mutex_;
    std::vector<FakeOrvo> attached_;
    std::vector<Call> calls_;
};

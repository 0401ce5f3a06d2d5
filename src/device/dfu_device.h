#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_types.h"
#include "device/usb/default_usb_backend.h"
#include "common/cycle_events.h"
#include "common/cycle_signals.h"
#include "common/guarded_text.h"
#include "common/program_folder.h"

struct DfuInterfaceInfo;
class DeviceWatcher;
class UsbBackend;

// How identification ended for its caller.
enum class IdentifyResult {
    Accepted,
    Rejected,
    Unreadable,  // the identity block could not be read back
};

// What to do about a DFU-mode device this user may not open.
std::string DeviceAccessHint(const std::string& devicePath);

// The updater's choice among the DFU-mode interfaces enumerated (the tools
// choose the same way): every interface leaves its path behind, so the last
// one enumerated wins, and a device counts as found only when some
// interface's description could be read.
struct DfuDeviceChoice {
    std::string path;        // upper case; empty when nothing was enumerated
    bool found = false;
    std::string deniedPath;  // the last interface this user may not open
};
DfuDeviceChoice ChooseDfuDevice(const std::vector<DfuInterfaceInfo>& interfaces);

// A range of the data flash.
struct FlashRange {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
};

// The device session: finds the Orvo, knows its path and identity, runs DFU
// operations on it and publishes what they do. The settings, the download
// request and the conversion live with their owners and need none of it;
// what the database on the device needs of it (update/device_database.h)
// goes through the region operations.
class CDfuDevice {
public:
    // `programPath` is the program's own executable path; its folder becomes
    // ProgramFolder and the only resource folder (a portable copy).
    // `library` is what the DFU operations call and `backend` what discovery
    // enumerates: the product's own (real devices), or a test's or the demo's
    // (an engine on a virtual bus, and that bus; a library that fails on
    // demand). Not owned; both outlive the device.
    explicit CDfuDevice(const std::string& programPath, DfuLibrary& library = VendorDfuLibrary(),
                        UsbBackend& backend = DefaultUsbBackend());
    // The installed program: ProgramFolder is where the settings file and the
    // working files live, which is the user's data folder when the program's
    // own folder is not writable.
    explicit CDfuDevice(const FileLocations& locations, DfuLibrary& library = VendorDfuLibrary(),
                        UsbBackend& backend = DefaultUsbBackend());
    virtual ~CDfuDevice();
    CDfuDevice(const CDfuDevice&) = delete;
    CDfuDevice& operator=(const CDfuDevice&) = delete;

    // What the view's timers share with the operations: the monitor's
    // releases. Not owned; set once at start-up (or by a test) before any
    // operation runs. Without it nobody monitors an operation, so none is
    // launched. What the operations show goes out on Events.
    void AttachSignals(CycleSignals* signals);

    // --- discovery (device/discovery.cpp)
    // Where the searches look: the list a watcher keeps of the backend's bus
    // (the update engine's, which it starts and stops), or with none
    // (null) the bus itself, on the caller's thread. Not owned; the caller
    // detaches it before it goes.
    void WatchThrough(DeviceWatcher* watcher) { watcher_ = watcher; }
    // What discovery enumerates, for the watcher that keeps its list.
    UsbBackend& Backend() const { return backend_; }
    // Reads the watcher's latest list: no USB access, so the presence
    // timers call it on the clock's thread, which must not block. Also keeps
    // DeviceAccessProblem and publishes its changes.
    bool FindDevice();
    // Whether a DFU-mode interface with this path (as DevicePath holds it) is
    // in the watcher's latest list (no USB access). Changes neither DevicePath nor the access problem.
    bool IsAttached(const std::string& path);
    // The same after a fresh look at the bus (DeviceWatcher::Rescan): waits
    // for a scan, so for the worker thread, the tools and tests, never the UI
    // thread.
    bool FindDeviceNow();

    // --- DFU operations and monitor (device/dfu_operations.cpp and the files
    // its header names: launching, region operations, the monitor)
    // Each returns whether it succeeded; the texts the user sees stay those of
    // the operation itself.
    bool UpgradeDevice(const std::string& base);
    void MonitorOperation();
    // Called from another thread as each launched operation ends (null:
    // nobody), so that the monitor can run at once instead of at its next tick.
    void ListenForOperationEnds(std::function<void()> listener);
    // Publishes `text` as an error of `kind` that one step on the device met,
    // for `cause` (the window shows it on the bar, unless the cause says
    // otherwise). `textId` (a TextId, 0: none) and `values` let a window show
    // it in the user's language; `text` stays the stable English one.
    void ShowError(const std::string& text, CycleErrorKind kind = CycleErrorKind::Device,
                   ErrorCause cause = ErrorCause::DeviceStep, std::uint16_t textId = 0,
                   std::vector<std::string> values = {});

    // One DFU operation each on the data flash, monitored like UpgradeDevice;
    // each returns whether it finished. EraseRegion erases every sector the
    // range touches. ProgramRegion programs `data` at `address` into flash
    // that is already erased, or erases the sectors of `eraseFirst` before.
    // ReadRegion reads the range into `data`.
    bool EraseRegion(FlashRange range);
    bool ProgramRegion(std::uint32_t address, std::span<const std::uint8_t> data, FlashRange eraseFirst = {});
    bool ReadRegion(FlashRange range, std::vector<std::uint8_t>& data);
    // The single element of the DFU file's image for alternate setting 1.
    bool LoadDfuElement(const std::string& dfuPath, std::uint32_t& address, std::vector<std::uint8_t>& data);
    // From the device's memory map: wTransferSize of the data flash and the
    // sector that holds `address`. False when the map has neither.
    bool DataFlashLayout(std::uint32_t address, std::uint32_t& transferSize, FlashRange& sector);

    // --- status texts (device/status_report.cpp)
    void ReportStatus(const DfuOperationContext& context);

    // --- identification (device/identification.cpp)
    int ConnectTest();
    IdentifyResult IdentifyDevice(const std::string& productName);

    // --- fields, in the order of the shared field table
    std::atomic<DfuHandle> OperationHandle{0};
    std::atomic<DfuHandle> KeptImage{0};
    std::atomic<std::int32_t> Target{0};
    GuardedText DeviceSerial;
    GuardedText DeviceIdText;
    GuardedText DeviceProductName;
    std::atomic<std::int32_t> ProgressCounter{0};
    const std::string ProgramFolder;
    GuardedText DevicePath;
    DfuMapping* Mapping = nullptr;

    // Folders of the read-only resources (picture, language libraries), each
    // absolute or the program folder, searched in order.
    const std::vector<std::string> ResourceFolders;
    // Why the last search found a DFU-mode device but could not use it (no
    // permission to open it; DeviceAccessHint), empty when there was none or
    // a usable device was found.
    GuardedText DeviceAccessProblem;

    // Raised at program end: a download in flight ends at once, and a DFU
    // operation is stopped instead of waited for.
    std::atomic<bool> ShuttingDown{false};
    // What the cycle and the operations did, for every listener (window,
    // console, history, log). Subscribe before the worker starts.
    CycleEventChannel Events;
    // The phase (a CyclePhase value) whose operations run now, -1 for none;
    // kept by PhaseTimer, read by the monitor for its progress events.
    std::atomic<int> RunningPhase{-1};

    // Frees the memory map and the kept image unless an operation runs; the
    // destructor does so too. Lets a test release them while its library lives.
    void ReleaseOperationResources();
    // Stops the running operation, if any, through the DFU libraries (its
    // transfer thread joined) and returns its handle, 0 when none ran. The
    // handle is taken first, so the monitor never polls an operation that is
    // being stopped. The program's end and an interrupted worker use it.
    DfuHandle StopOperation();

protected:
    CycleSignals* signals_ = &unmonitoredSignals_;

private:
    // The view's timer drives MonitorOperation and releases the waiting
    // worker; without it an operation would wait for ever.
    bool MonitorAttached() const { return signals_ != &unmonitoredSignals_; }
    CycleSignals unmonitoredSignals_;

    // Set while a tick of the monitor runs (see MonitorOperation).
    bool monitoring_ = false;

    void ReportAccessProblem(const std::string& deniedPath);

    // device/dfu_operations.h: the steps of the operations and the monitor.
    friend class DfuOperations;
    DfuLibrary& library_;
    // device/discovery.cpp: where FindDevice looks.
    UsbBackend& backend_;
    std::atomic<DeviceWatcher*> watcher_{nullptr};
    // What the searches look at: the watcher's list, or the bus itself.
    std::vector<DfuInterfaceInfo> LatestInterfaces() const;
    std::vector<DfuInterfaceInfo> FreshInterfaces() const;
    bool ChooseFrom(const std::vector<DfuInterfaceInfo>& interfaces);
    // The outcome of the last operation, written by whoever releases the
    // waiting caller just before it does.
    std::atomic<bool> operationSucceeded_{false};
    // Where the monitor copies the bytes of a read. Set by the worker before the launch, read by the monitor
    // while the operation runs, the result read by the worker once released.
    std::atomic<std::vector<std::uint8_t>*> readBackInto_{nullptr};
    // What the launched operation is to the user, for the monitor's events;
    // set by the worker before the monitor can see the operation.
    std::atomic<DeviceOperation> launchedAs_{DeviceOperation::Write};
};

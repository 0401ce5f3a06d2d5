#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "device/usb/usb_backend.h"

// Keeps the list of attached DFU-mode interfaces, with their descriptions,
// on a thread of its own, so that the view's presence timers read a list on
// the UI thread instead of enumerating, opening devices and reading string
// descriptors there (a slow device would freeze the window).
//
// It scans when started, whenever the backend reports a device arriving or
// leaving, whenever someone asks for a fresh scan (Rescan), and every
// `period` while the backend reports no such changes or some interface
// found could not be described (no permission yet, a string read that timed
// out): a description can become readable without any device coming or
// going.
//
// Start and Stop come from whoever owns the watcher (CDfuDevice); the backend
// must outlive it, or at least its Stop.
class DeviceWatcher {
public:
    static constexpr std::chrono::milliseconds DefaultPeriod{500};

    struct Scan {
        std::vector<DfuInterfaceInfo> interfaces;
        // Counts the scans that have ended; 0: none yet (the list is empty
        // because nothing has been looked at).
        std::uint64_t number = 0;
    };

    explicit DeviceWatcher(UsbBackend& backend, std::chrono::milliseconds period = DefaultPeriod);
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Starts the thread unless it runs; cheap, no USB access on the caller's
    // thread.
    void Start();
    // Ends the thread and waits for it: afterwards the backend is not used
    // any more. A later Start begins again.
    void Stop();

    // The list of the latest scan. Never touches the bus.
    Scan Latest() const;
    // Waits until a scan that began after this call has ended and returns it
    // (starting the watcher if needed). Blocks for a scan's time: for worker
    // threads, tools and tests, never the UI thread.
    Scan Rescan();
    // Waits until scan `number` (or a later one) has ended, at most
    // `timeout`; false when it had not. For tests that tick the view's timers
    // in simulated time and must know the list is current.
    bool WaitForScan(std::uint64_t number, std::chrono::milliseconds timeout) const;

private:
    void Run();
    bool ScanDue(std::chrono::steady_clock::time_point lastScan, bool hotplug) const;

    UsbBackend& backend_;
    const std::chrono::milliseconds period_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread thread_;
    bool running_ = false;
    bool stopRequested_ = false;
    // Scans asked for by Rescan: one that begins after the request serves it.
    std::uint64_t requested_ = 0;
    std::uint64_t begun_ = 0;
    Scan latest_;
};

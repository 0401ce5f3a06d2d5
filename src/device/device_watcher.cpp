#include "device/device_watcher.h"

#include <algorithm>
#include <utility>

namespace {

bool AllDescribed(const std::vector<DfuInterfaceInfo>& interfaces) {
    return std::all_of(interfaces.begin(), interfaces.end(),
                       [](const DfuInterfaceInfo& info) { return info.description.has_value(); });
}

}  // namespace

DeviceWatcher::DeviceWatcher(UsbBackend& backend, std::chrono::milliseconds period)
    : backend_(backend), period_(period) {}

DeviceWatcher::~DeviceWatcher() { Stop(); }

void DeviceWatcher::Start() {
    std::lock_guard lock(mutex_);
    if (running_)
        return;
    running_ = true;
    stopRequested_ = false;
    thread_ = std::thread([this] { Run(); });
}

void DeviceWatcher::Stop() {
    std::thread ending;
    {
        std::lock_guard lock(mutex_);
        if (!running_)
            return;
        stopRequested_ = true;
        ending = std::move(thread_);
    }
    changed_.notify_all();
    backend_.WakeDeviceChangeWait();
    ending.join();
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    // A Rescan waiting for a scan that will not come now returns.
    changed_.notify_all();
}

DeviceWatcher::Scan DeviceWatcher::Latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

DeviceWatcher::Scan DeviceWatcher::Rescan() {
    Start();
    std::unique_lock lock(mutex_);
    // The scan under way, if any, may have looked at the bus before the
    // caller changed it: only the next one counts.
    const std::uint64_t wanted = begun_ + 1;
    requested_ = std::max(requested_, wanted);
    lock.unlock();
    changed_.notify_all();
    backend_.WakeDeviceChangeWait();
    lock.lock();
    changed_.wait(lock, [&] { return latest_.number >= wanted || stopRequested_; });
    return latest_;
}

bool DeviceWatcher::WaitForScan(std::uint64_t number, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return latest_.number >= number; });
}

// Runs on the watcher's thread.
void DeviceWatcher::Run() {
    const bool hotplug = backend_.WatchDeviceChanges();
    bool deviceChanged = true;  // nothing looked at yet
    auto lastScan = std::chrono::steady_clock::now();
    for (;;) {
        std::uint64_t number = 0;
        {
            std::unique_lock lock(mutex_);
            if (stopRequested_)
                return;
            if (!deviceChanged && requested_ <= begun_ && !ScanDue(lastScan, hotplug)) {
                const auto nextPeriodic = lastScan + period_;
                if (!hotplug) {
                    changed_.wait_until(lock, nextPeriodic, [&] { return stopRequested_ || requested_ > begun_; });
                    continue;
                }
                // While every interface is described only the backend's
                // notice brings a scan; the wait is cut into periods all the
                // same, so that nothing depends on a wake-up getting through.
                const bool described = AllDescribed(latest_.interfaces);
                lock.unlock();
                const auto now = std::chrono::steady_clock::now();
                const auto wait = described ? period_
                                            : std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::max(nextPeriodic - now, std::chrono::steady_clock::duration{}));
                deviceChanged = backend_.WaitForDeviceChange(wait);
                continue;
            }
            number = ++begun_;
        }
        deviceChanged = false;
        std::vector<DfuInterfaceInfo> found = backend_.EnumerateDfuInterfaces();
        lastScan = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex_);
            latest_ = Scan{std::move(found), number};
        }
        changed_.notify_all();
    }
}

// Called with the lock held: the periodic scan, for a backend that reports
// no arrivals, or while some interface found could not be described.
bool DeviceWatcher::ScanDue(std::chrono::steady_clock::time_point lastScan, bool hotplug) const {
    if (hotplug && AllDescribed(latest_.interfaces))
        return false;
    return std::chrono::steady_clock::now() >= lastScan + period_;
}

#include <algorithm>
#include <cctype>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "device/device_watcher.h"
#include "device/dfu_device.h"
#include "device/watcher_searches.h"
#include "device/usb/usb_backend.h"

namespace {
std::string UpperCase(std::string path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return path;
}
}  // namespace

DfuDeviceChoice ChooseDfuDevice(const std::vector<DfuInterfaceInfo>& interfaces) {
    DfuDeviceChoice choice;
    for (const DfuInterfaceInfo& info : interfaces) {
        std::string path = UpperCase(info.path);
        if (info.description)
            choice.found = true;
        else if (info.descriptionStatus == UsbStatus::AccessDenied)
            choice.deniedPath = path;
        choice.path = std::move(path);
    }
    return choice;
}

// The presence timers ask every 500 ms: enumerating in their tick, opening
// each device and reading its product string, would hold up the clock (and
// with it the operation monitor) whenever a device answers slowly. The
// watcher does that on its own thread.
bool CDfuDevice::FindDevice() { return ChooseFrom(LatestInterfaces()); }

bool CDfuDevice::FindDeviceNow() { return ChooseFrom(FreshInterfaces()); }

namespace {
// Shared by the searches that read a watcher, taken alone by whoever waits
// for them to end: searches never wait for each other.
std::shared_mutex watcherReads;
}  // namespace

void AwaitSearchesOfDetachedWatchers() { std::unique_lock lock(watcherReads); }

std::vector<DfuInterfaceInfo> CDfuDevice::LatestInterfaces() const {
    {
        std::shared_lock lock(watcherReads);
        if (DeviceWatcher* watcher = watcher_.load())
            return watcher->Latest().interfaces;
    }
    return backend_.EnumerateDfuInterfaces();
}

std::vector<DfuInterfaceInfo> CDfuDevice::FreshInterfaces() const {
    {
        std::shared_lock lock(watcherReads);
        if (DeviceWatcher* watcher = watcher_.load())
            return watcher->Rescan().interfaces;
    }
    return backend_.EnumerateDfuInterfaces();
}

// A search that enumerates nothing keeps the previous path.
bool CDfuDevice::ChooseFrom(const std::vector<DfuInterfaceInfo>& interfaces) {
    const DfuDeviceChoice choice = ChooseDfuDevice(interfaces);
    if (!interfaces.empty())
        DevicePath.Set(choice.path);
    ReportAccessProblem(choice.found ? std::string() : choice.deniedPath);
    return choice.found;
}

// Any interface with the path counts, readable description or not: a device
// that is still plugged in has not been unplugged. The removal timer asks on
// the clock's thread, so this reads the watcher's list as FindDevice does.
bool CDfuDevice::IsAttached(const std::string& path) {
    const std::string wanted = UpperCase(path);
    const std::vector<DfuInterfaceInfo> interfaces = LatestInterfaces();
    return !wanted.empty() && std::any_of(interfaces.begin(), interfaces.end(), [&](const DfuInterfaceInfo& info) {
               return UpperCase(info.path) == wanted;
           });
}

std::string DeviceAccessHint(const std::string& devicePath) {
    return devicePath + ": no permission to open the device. Install the package orvo-updater, or copy its "
                        "udev rule 70-orvo-dfu.rules into /etc/udev/rules.d/ and run 'udevadm control "
                        "--reload'; then plug the Orvo in again.";
}

// A device that is there but may not be opened would otherwise look like no
// device at all: the window says why while it lasts. The cycle itself goes on
// waiting as before.
void CDfuDevice::ReportAccessProblem(const std::string& deniedPath) {
    const std::string problem = deniedPath.empty() ? std::string() : DeviceAccessHint(deniedPath);
    const std::string previous = DeviceAccessProblem.Get();
    if (problem == previous)
        return;
    DeviceAccessProblem.Set(problem);
    Events.Publish(CycleEvents::DeviceAccess{problem});
}

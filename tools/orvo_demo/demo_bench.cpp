#include "orvo_demo/demo_bench.h"

#include <algorithm>
#include <mutex>

#include "app/production_services.h"
#include "device/dfu_device.h"

const char* DemoFaultName(DemoFault fault) {
    switch (fault) {
    case DemoFault::None: return "none";
    case DemoFault::ServerDown: return "server down";
    case DemoFault::HtmlAnswer: return "HTML answer instead of a database";
    case DemoFault::DeviceError: return "device error mid-write";
    case DemoFault::UnplugMidWrite: return "unplug mid-write";
    }
    return "?";
}

namespace {

// Keeps the demo's bookkeeping while the simulated device and server are not
// part of the build: the window works, but no Orvo ever appears on a bus.
class DetachedBench final : public DemoBench {
public:
    bool Available() const override { return false; }
    std::string Missing() const override {
        return "the virtual USB bus, the simulated update server and the device operations";
    }

    bool Plug(const std::string& serial) override {
        std::lock_guard lock(mutex_);
        if (serial.size() != 7 || std::find(plugged_.begin(), plugged_.end(), serial) != plugged_.end())
            return false;
        plugged_.push_back(serial);
        return true;
    }
    void Unplug(const std::string& serial) override {
        std::lock_guard lock(mutex_);
        std::erase(plugged_, serial);
    }
    std::vector<std::string> Plugged() const override {
        std::lock_guard lock(mutex_);
        return plugged_;
    }
    void SetNextFault(DemoFault fault) override {
        std::lock_guard lock(mutex_);
        fault_ = fault;
    }
    DemoFault NextFault() const override {
        std::lock_guard lock(mutex_);
        return fault_;
    }
    void KeepFlashIn(const std::string& path) override {
        std::lock_guard lock(mutex_);
        flashPath_ = path;
    }
    void Wire(UpdaterServices& services) override { services = ProductionServices(); }
    std::unique_ptr<CDfuDevice> MakeDevice(const std::string& programPath) override {
        return std::make_unique<CDfuDevice>(programPath);
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> plugged_;
    DemoFault fault_ = DemoFault::None;
    std::string flashPath_;
};

}  // namespace

std::unique_ptr<DemoBench> MakeDemoBench() { return std::make_unique<DetachedBench>(); }

#include "demo_support/demo_bench.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "database_generator.h"
#include "device/dfu_device.h"
#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "update_server.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

const char* DemoFaultName(DemoFault fault) {
    switch (fault) {
    case DemoFault::None: return "none";
    case DemoFault::ServerDown: return "server down";
    case DemoFault::HtmlAnswer: return "HTML answer instead of a database";
    case DemoFault::DeviceError: return "device error mid-write";
    case DemoFault::UnplugMidWrite: return "unplug mid-write";
    case DemoFault::SilentCorruption: return "silent corruption mid-write";
    case DemoFault::JunkAnswer: return "random bytes instead of a database";
    case DemoFault::BusyForever: return "busy for ever mid-write";
    case DemoFault::SlowUsb: return "slow USB (200 ms per descriptor read)";
    }
    return "?";
}

std::span<const DemoFaultOption> DemoFaultOptions() {
    static constexpr DemoFaultOption options[] = {
        {"none", DemoFault::None},
        {"server-down", DemoFault::ServerDown},
        {"html", DemoFault::HtmlAnswer},
        {"device-error", DemoFault::DeviceError},
        {"unplug", DemoFault::UnplugMidWrite},
        {"silent-corruption", DemoFault::SilentCorruption},
        {"junk", DemoFault::JunkAnswer},
        {"busy", DemoFault::BusyForever},
        {"slow-usb", DemoFault::SlowUsb},
    };
    return options;
}

namespace {

// Nothing listens there: a connection is refused at once, as with a server
// that is down.
constexpr const char* DeadServerHost = "127.0.0.1:1";
// The device error and the unplug strike this many programmed blocks into
// the database write, well inside it.
constexpr unsigned MidWriteBlock = 20;
constexpr std::uint8_t ErrorWriteStatus = 0x06;  // errPROG
// What every string descriptor read of a slow Orvo takes: a window that read
// one on its UI thread would freeze that long.
constexpr unsigned SlowDescriptorMs = 200;

const char* const HtmlAnswer =
    "<!DOCTYPE html>\r\n<html><head><title>Service unavailable</title></head>\r\n"
    "<body><h1>Service unavailable</h1><p>Please try again later.</p></body></html>\r\n";

class SimulatedBench final : public DemoBench {
public:
    explicit SimulatedBench(const DemoBenchOptions& options)
        : options_(options),
          server_(UpdateServerOptions{.records = options.records},
                  [this](const std::string& serial, std::size_t records) { return Answer(serial, records); }) {
        started_ = server_.Start();
    }

    ~SimulatedBench() override {
        server_.Stop();
        UnplugAllKeepingFlash();
    }

    bool Available() const override { return started_; }
    std::string Missing() const override { return started_ ? "" : "the simulated update server could not start"; }

    bool Plug(const std::string& serial) override {
        std::lock_guard lock(mutex_);
        if (serial.size() != 7 || plugged_.count(serial) != 0)
            return false;
        VirtualOrvoConfig config;
        config.serial = serial;
        config.timing = options_.timing;
        auto orvo = std::make_shared<VirtualOrvo>(config);
        if (const std::string flash = FlashPathLocked(serial); !flash.empty()) {
            std::string ignored;  // a missing file starts from erased flash
            if (orvo->LoadFlash(flash, ignored))
                orvo->WriteIdentityBlock();
        }
        if (nextFault_ == DemoFault::SlowUsb)
            orvo->SlowDescriptors(SlowDescriptorMs);
        const std::string path = bus_.Plug(orvo);
        plugged_[serial] = Plugged_{orvo, path};
        return true;
    }

    void Unplug(const std::string& serial) override {
        std::lock_guard lock(mutex_);
        UnplugLocked(serial);
    }

    std::vector<std::string> Plugged() const override {
        std::lock_guard lock(mutex_);
        std::vector<std::string> serials;
        for (const auto& entry : plugged_)
            serials.push_back(entry.first);
        return serials;
    }

    void SetNextFault(DemoFault fault) override {
        std::lock_guard lock(mutex_);
        nextFault_ = fault;
        if (fault == DemoFault::SlowUsb)
            for (auto& entry : plugged_)
                entry.second.orvo->SlowDescriptors(SlowDescriptorMs);
    }
    DemoFault NextFault() const override {
        std::lock_guard lock(mutex_);
        return nextFault_;
    }

    void KeepFlashIn(const std::string& serial, const std::string& path) override {
        std::lock_guard lock(mutex_);
        flashPaths_[serial] = path;
    }

    std::function<void()> ArmingFaults(std::function<void()> saveSettings) override {
        // The worker saves the settings right before each download, on its own
        // thread: the one moment where the next cycle's fault can be put in
        // place without racing the cycle itself.
        return [this, saveSettings = std::move(saveSettings)] {
            saveSettings();
            ArmFaultForThisCycle(*device_);
        };
    }

    std::unique_ptr<CDfuDevice> MakeDevice(const std::string& programPath) override {
        auto device = std::make_unique<CDfuDevice>(programPath, library_, bus_);
        device_ = device.get();
        return device;
    }

    std::function<std::string()> ServerHost() override {
        return [this] {
            std::lock_guard lock(mutex_);
            return serverHost_.empty() ? server_.HostAndPort() : serverHost_;
        };
    }

    void Poll() override {
        // A device that pulled itself out mid-write leaves the bus for good.
        std::lock_guard lock(mutex_);
        std::vector<std::string> gone;
        for (const auto& [serial, entry] : plugged_)
            if (entry.orvo->Detached())
                gone.push_back(serial);
        for (const std::string& serial : gone)
            UnplugLocked(serial);
    }

private:
    struct Plugged_ {
        std::shared_ptr<VirtualOrvo> orvo;
        std::string path;
    };

    std::string Answer(const std::string& serial, std::size_t records) {
        if (htmlAnswer_.exchange(false))
            return HtmlAnswer;
        if (junkAnswer_.exchange(false))
            return ::JunkAnswer();
        return GenerateDatabaseTextForSerial(serial, records);
    }

    void ArmFaultForThisCycle(CDfuDevice& device) {
        std::lock_guard lock(mutex_);
        const DemoFault fault = std::exchange(nextFault_, DemoFault::None);
        serverHost_ = fault == DemoFault::ServerDown ? DeadServerHost : server_.HostAndPort();
        htmlAnswer_ = fault == DemoFault::HtmlAnswer;
        junkAnswer_ = fault == DemoFault::JunkAnswer;
        const std::string serial = device.DeviceSerial.Get();
        for (auto& [plugged, entry] : plugged_) {
            entry.orvo->ClearFaults();
            if (plugged != serial)
                continue;
            if (fault == DemoFault::DeviceError)
                entry.orvo->FailAt(OrvoRequestKind::Program, MidWriteBlock, ErrorWriteStatus);
            else if (fault == DemoFault::UnplugMidWrite)
                entry.orvo->UnplugAt(OrvoRequestKind::Program, MidWriteBlock);
            else if (fault == DemoFault::SilentCorruption)
                entry.orvo->CorruptSilentlyAt(MidWriteBlock);
            else if (fault == DemoFault::BusyForever)
                entry.orvo->BusyForeverAt(OrvoRequestKind::Program, MidWriteBlock);
        }
    }

    void UnplugLocked(const std::string& serial) {
        const auto it = plugged_.find(serial);
        if (it == plugged_.end())
            return;
        bus_.Unplug(it->second.path);
        if (const std::string flash = FlashPathLocked(serial); !flash.empty()) {
            std::string ignored;
            it->second.orvo->SaveFlash(flash, ignored);
        }
        plugged_.erase(it);
    }

    std::string FlashPathLocked(const std::string& serial) const {
        auto it = flashPaths_.find(serial);
        if (it == flashPaths_.end())
            it = flashPaths_.find({});
        return it == flashPaths_.end() ? std::string() : it->second;
    }

    void UnplugAllKeepingFlash() {
        std::lock_guard lock(mutex_);
        while (!plugged_.empty())
            UnplugLocked(plugged_.begin()->first);
    }

    DemoBenchOptions options_;
    VirtualUsbBus bus_;
    // The updater's engine with its own limits, on the virtual bus.
    DfuProtocolEngine engine_{bus_};
    EngineDfuLibrary library_{engine_};
    SimUpdateServer server_;
    // The device the last MakeDevice made: the window's, which outlives its worker.
    CDfuDevice* device_ = nullptr;
    bool started_ = false;
    std::atomic<bool> htmlAnswer_{false};
    std::atomic<bool> junkAnswer_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Plugged_> plugged_;
    DemoFault nextFault_ = DemoFault::None;
    std::string serverHost_;  // empty: the server's own address
    std::map<std::string, std::string> flashPaths_;  // by serial; "" for any other
};

}  // namespace

std::unique_ptr<DemoBench> MakeDemoBench(const DemoBenchOptions& options) {
    return std::make_unique<SimulatedBench>(options);
}

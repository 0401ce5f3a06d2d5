// How much of a database write is spent waiting on the device itself: a 2.1 MB
// image goes into a virtual Orvo whose realistic timing is scaled down, and
// the efficiency is the device model's busy and transfer time divided by the
// wall time of the whole write. Every operation goes the updater's one way to
// device memory: the device object's region operations, monitored on the
// engine's clock (every 100 ms, and at once when a transfer has ended).
// Goal: 0.95 or better.
//
// The device model's timing is that of a NOR flash behind a full-speed USB
// control pipe: 400 ms per 64 KiB sector erase, 4 ms per KiB programmed,
// 1 ms per command, 1 ms per KiB on the wire (a 2 KiB block in each
// direction). A real write of 2.1 MB is thus about 23 s: 13 s of erasing,
// 8 s of programming, 2 s of transfer; reading it back about 2 s.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

#include "common/cycle_events.h"
#include "common/cycle_signals.h"
#include "common/silent_ports.h"
#include "database/dfu_preparation.h"
#include "device/dfu/dfu_files_format.h"
#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "device/dfu_device.h"
#include "update/device_database.h"
#include "update/engine_clock.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

constexpr std::uint32_t kDatabaseAddress = 0x00510000;
constexpr std::size_t kDatabaseSize = 2'100'000;

// The cycle's clock as the updater runs it: the monitor every 100 ms, and at
// once when a transfer says its operation has ended.
class UpdaterClock {
public:
    explicit UpdaterClock(CDfuDevice& device)
        : device_(device), clock_(view_, [&device](int id) {
              if (id == MonitorTimer)
                  device.MonitorOperation();
          }) {
        device_.ListenForOperationEnds([this] { clock_.Wake(); });
        clock_.Start();
    }
    ~UpdaterClock() {
        device_.ListenForOperationEnds(nullptr);
        clock_.Stop();
    }
    UpdaterClock(const UpdaterClock&) = delete;
    UpdaterClock& operator=(const UpdaterClock&) = delete;

private:
    CDfuDevice& device_;
    SilentView view_;
    EngineClock clock_;
};

// A virtual Orvo on its own bus and the updater's device object on it, its
// operations monitored on the updater's clock. The device's program folder
// is a private temporary one.
class MonitoredOrvo {
public:
    // With `flashFile`, each erase and block also goes to that file
    // (orvo-tool --virtual=FILE); `error` says why that could not be.
    explicit MonitoredOrvo(const std::filesystem::path& flashFile = {}) {
        if (!flashFile.empty() && !orvo_->KeepFlashIn(flashFile.string(), error))
            return;
        std::filesystem::create_directories(folder_);
        path_ = bus_.Plug(orvo_);
        device_.emplace((folder_ / "orvo-updater").string(), library_, bus_);
        device_->AttachSignals(&signals_);
        device_->DevicePath.Set(path_);
        clock_.emplace(*device_);
    }
    ~MonitoredOrvo() {
        clock_.reset();
        if (device_) {
            device_->AttachSignals(nullptr);
            device_->ReleaseOperationResources();
        }
        device_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    MonitoredOrvo(const MonitoredOrvo&) = delete;
    MonitoredOrvo& operator=(const MonitoredOrvo&) = delete;

    bool Ready() const { return device_.has_value(); }
    VirtualOrvo& Orvo() { return *orvo_; }
    CDfuDevice& Device() { return *device_; }
    const std::filesystem::path& Folder() const { return folder_; }
    std::string error;

private:
    VirtualUsbBus bus_;
    std::shared_ptr<VirtualOrvo> orvo_ = std::make_shared<VirtualOrvo>();
    DfuProtocolEngine engine_{bus_};
    EngineDfuLibrary library_{engine_};
    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("orvo_transport_bench_" + std::to_string(::getpid()));
    std::string path_;
    CycleSignals signals_;
    std::optional<CDfuDevice> device_;
    std::optional<UpdaterClock> clock_;
};

// The engine's own write of the database region: its sectors erased, then
// its bytes programmed, in one chained operation.
bool WriteRegion(CDfuDevice& device, const std::vector<std::uint8_t>& data) {
    const FlashRange range{kDatabaseAddress, static_cast<std::uint32_t>(data.size())};
    return device.ProgramRegion(kDatabaseAddress, data, range);
}

std::vector<std::uint8_t> DatabaseBytes() {
    std::vector<std::uint8_t> data(kDatabaseSize);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
    return data;
}

// The device model's busy and transfer time and the wall time of the writes
// measured; the efficiency is the one over the other.
struct WriteTimes {
    double deviceSeconds = 0;
    double wallSeconds = 0;

    // Runs `write` with the Orvo's timing scaled to `scale` (instant again
    // afterwards) and adds its times; false when the write failed.
    bool Add(VirtualOrvo& orvo, double scale, const std::function<bool()>& write) {
        orvo.SetTiming(OrvoTiming::Scaled(scale));
        orvo.ResetStats();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = write();
        const auto wall = std::chrono::steady_clock::now() - start;
        orvo.SetTiming(OrvoTiming::Instant());
        if (!ok)
            return false;
        const OrvoStats stats = orvo.Stats();
        deviceSeconds += static_cast<double>(stats.busyUs + stats.transferUs) / 1e6;
        wallSeconds += std::chrono::duration<double>(wall).count();
        return true;
    }
    double Efficiency() const { return wallSeconds > 0 ? deviceSeconds / wallSeconds : 0; }
};

void BM_WriteDatabase(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    // With a flash file kept current (the second argument).
    const std::filesystem::path flashFile =
        state.range(1) != 0
            ? std::filesystem::temp_directory_path() / ("orvo_bench_flash_" + std::to_string(::getpid()) + ".bin")
            : std::filesystem::path();
    MonitoredOrvo rig(flashFile);
    if (!rig.Ready()) {
        state.SkipWithError(rig.error.c_str());
        return;
    }
    const std::vector<std::uint8_t> data = DatabaseBytes();

    WriteTimes times;
    for (auto _ : state) {
        if (!times.Add(rig.Orvo(), scale, [&] { return WriteRegion(rig.Device(), data); })) {
            state.SkipWithError("write failed");
            break;
        }
        if (rig.Orvo().ProtocolViolations() != 0)
            state.SkipWithError("protocol violations");
    }
    state.counters["efficiency"] = times.Efficiency();
    state.counters["device_s"] = times.deviceSeconds;
    state.counters["wall_s"] = times.wallSeconds;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDatabaseSize));
    std::error_code ignored;
    if (!flashFile.empty())
        std::filesystem::remove(flashFile, ignored);
}

// Timing scaled to 10 % and 25 % of the real part; without and with a kept
// flash file (the second argument).
BENCHMARK(BM_WriteDatabase)
    ->ArgsProduct({{10, 25}, {0, 1}})
    ->ArgNames({"scale", "kept_file"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The read-backs of the database write, measured against the write itself
// (same image, same scaled timing): the verification reads the whole
// database once (goal: at most 15 % of the write's time); the comparison
// before the write, when the databases differ in their first block, reads
// that one block. The backup of the database being replaced (an old one of
// the same size) reads the date stamp, the header and then the whole
// database (goal: at most 15 % of the write's time too).
void BM_ReadBackCost(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    MonitoredOrvo rig;
    CDfuDevice& device = rig.Device();
    const std::vector<std::uint8_t> data = DatabaseBytes();

    // Seconds the run took, or -1 when it failed.
    const auto timed = [](const auto& run) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = run();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return ok ? seconds : -1.0;
    };
    std::vector<std::uint8_t> back;
    const auto read = [&](std::uint32_t address, std::uint32_t length) {
        return timed([&] { return device.ReadRegion({address, length}, back); });
    };

    double write = 0, verify = 0, check = 0, backup = 0;
    for (auto _ : state) {
        rig.Orvo().SetTiming(OrvoTiming::Scaled(scale));
        const double written = timed([&] { return WriteRegion(device, data); });
        const double whole = read(kDatabaseAddress, kDatabaseSize);
        const double block = read(kDatabaseAddress, kVirtualOrvoTransferSize);
        const double stamp = read(DfuPreparation::DateStampAddress, DfuPreparation::DateStampLength);
        const double header = read(kDatabaseAddress, 5);
        const double database = read(kDatabaseAddress, kDatabaseSize);
        const double kept = stamp < 0 || header < 0 || database < 0 ? -1.0 : stamp + header + database;
        rig.Orvo().SetTiming(OrvoTiming::Instant());
        if (written < 0 || whole < 0 || block < 0 || kept < 0) {
            state.SkipWithError("transfer failed");
            break;
        }
        write += written;
        verify += whole;
        check += block;
        backup += kept;
    }
    state.counters["write_s"] = write;
    state.counters["verify_of_write"] = write > 0 ? verify / write : 0;
    state.counters["check_of_write"] = write > 0 ? check / write : 0;
    state.counters["backup_of_write"] = write > 0 ? backup / write : 0;
}

BENCHMARK(BM_ReadBackCost)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The updater's own write, as the window and `orvo-tool update` run it:
// WriteDatabase (compare, date stamp erased, body written and
// read back, header last) and WriteDateStamp, each operation launched by the
// device and polled by the monitor on the engine's clock, every 100 ms and at
// once when its transfer has ended.
// The efficiency counts the device's time (reads included) against the wall
// time of the whole write; the monitor's period is part of that wall time,
// which is why it is also measured at the real part's timing (about 29 s).
// verify_of_write: the read-backs' phases against the erase and write phases.
class PhaseClock final : public CycleEventListener {
public:
    void OnCycleEvent(const CycleEvent& event) override {
        if (const auto* ended = std::get_if<CycleEvents::PhaseEnded>(&event)) {
            std::lock_guard lock(mutex_);
            if (ended->phase == CyclePhase::Verify)
                verify_ += ended->duration;
            else if (ended->phase == CyclePhase::Erase || ended->phase == CyclePhase::Write)
                write_ += ended->duration;
        }
    }
    double WriteSeconds() const { return Seconds(write_); }
    double VerifySeconds() const { return Seconds(verify_); }

private:
    double Seconds(std::chrono::milliseconds ms) const {
        std::lock_guard lock(mutex_);
        return static_cast<double>(ms.count()) / 1000.0;
    }
    mutable std::mutex mutex_;
    std::chrono::milliseconds write_{0};
    std::chrono::milliseconds verify_{0};
};

void BM_UpdaterWritePath(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    MonitoredOrvo rig;
    CDfuDevice& device = rig.Device();
    PhaseClock phases;
    device.Events.Subscribe(phases);

    DfuFileContents contents;
    contents.images.push_back({DfuPreparation::AlternateSetting, "", {{kDatabaseAddress, DatabaseBytes()}}});
    std::vector<std::uint8_t> file;
    const std::string base = (rig.Folder() / "tesselDB").string();
    DfuFileFormat::Serialize(contents, file);
    std::ofstream(base + ".dfu", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                          static_cast<std::streamsize>(file.size()));

    WriteTimes times;
    for (auto _ : state) {
        // A device whose first block differs: the whole database is written.
        rig.Orvo().WriteFlash(kDatabaseAddress, std::vector<std::uint8_t>(16, 0x00));
        if (!times.Add(rig.Orvo(), scale, [&] {
                return WriteDatabase(device, base) == DatabaseWriteResult::Written && WriteDateStamp(device);
            })) {
            state.SkipWithError("write failed");
            break;
        }
    }
    device.Events.Unsubscribe(phases);
    state.counters["efficiency"] = times.Efficiency();
    state.counters["wall_s"] = times.wallSeconds;
    state.counters["verify_of_write"] = phases.WriteSeconds() > 0 ? phases.VerifySeconds() / phases.WriteSeconds() : 0;
}

BENCHMARK(BM_UpdaterWritePath)->Arg(10)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

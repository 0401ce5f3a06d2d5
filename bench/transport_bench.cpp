// How much of a database write is spent waiting on the device itself: a 2.1 MB
// image goes into a virtual Orvo whose realistic timing is scaled down, and
// the efficiency is the device model's busy and transfer time divided by the
// wall time of the whole write (ERASE then UPGRADE, polled like the monitor
// polls, only faster). Goal: 0.95 or better.
//
// The device model's timing is that of a NOR flash behind a full-speed USB
// control pipe: 400 ms per 64 KiB sector erase, 4 ms per KiB programmed,
// 1 ms per command, 1 ms per KiB on the wire (a 2 KiB block in each
// direction). A real write of 2.1 MB is thus about 23 s: 13 s of erasing,
// 8 s of programming, 2 s of transfer; reading it back about 2 s.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

constexpr std::uint32_t kDatabaseAddress = 0x00510000;
constexpr std::size_t kDatabaseSize = 2'100'000;

// Polled faster than the monitor polls, so that the wall time is the device's.
DfuRunOptions Polled() {
    DfuRunOptions options;
    options.pollInterval = std::chrono::milliseconds(5);
    return options;
}

bool Succeeded(const DfuRunResult& run) { return run.error == STDFU_NOERROR && run.finished; }

std::vector<std::uint8_t> DatabaseBytes() {
    std::vector<std::uint8_t> data(kDatabaseSize);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
    return data;
}

void BM_WriteDatabase(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    const std::string path = bus.Plug(orvo);
    DfuProtocolEngine engine(bus);
    const std::vector<std::uint8_t> data = DatabaseBytes();

    double deviceSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        orvo->SetTiming(OrvoTiming::Scaled(scale));
        orvo->ResetStats();

        const auto start = std::chrono::steady_clock::now();
        const bool ok = Succeeded(WriteDfuRegion(engine, path, kDatabaseAddress, data, Polled()));
        const auto wall = std::chrono::steady_clock::now() - start;

        orvo->SetTiming(OrvoTiming::Instant());
        if (!ok) {
            state.SkipWithError("write failed");
            break;
        }
        const OrvoStats stats = orvo->Stats();
        deviceSeconds += static_cast<double>(stats.busyUs + stats.transferUs) / 1e6;
        wallSeconds += std::chrono::duration<double>(wall).count();
        if (orvo->ProtocolViolations() != 0)
            state.SkipWithError("protocol violations");
    }
    state.counters["efficiency"] = wallSeconds > 0 ? deviceSeconds / wallSeconds : 0;
    state.counters["device_s"] = deviceSeconds;
    state.counters["wall_s"] = wallSeconds;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kDatabaseSize));
}

// Timing scaled to 10 % and 25 % of the real part.
BENCHMARK(BM_WriteDatabase)->Arg(10)->Arg(25)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The read-backs of the database write, measured against the write itself
// (same image, same scaled timing): the verification reads the whole
// database once (goal: at most 15 % of the write's time); the comparison
// before the write, when the databases differ in their first block, reads
// that one block.
void BM_ReadBackCost(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    const std::string path = bus.Plug(orvo);
    DfuProtocolEngine engine(bus);
    const std::vector<std::uint8_t> data = DatabaseBytes();

    // Seconds the run took, or -1 when it failed.
    const auto timed = [](const auto& run) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = Succeeded(run());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return ok ? seconds : -1.0;
    };
    std::vector<std::uint8_t> back;
    const auto read = [&](std::uint32_t length) {
        return timed([&] { return ReadDfuRegion(engine, path, kDatabaseAddress, length, back, Polled()); });
    };

    double write = 0, verify = 0, check = 0;
    for (auto _ : state) {
        orvo->SetTiming(OrvoTiming::Scaled(scale));
        const double written = timed([&] { return WriteDfuRegion(engine, path, kDatabaseAddress, data, Polled()); });
        const double whole = read(kDatabaseSize);
        const double block = read(kVirtualOrvoTransferSize);
        orvo->SetTiming(OrvoTiming::Instant());
        if (written < 0 || whole < 0 || block < 0) {
            state.SkipWithError("transfer failed");
            break;
        }
        write += written;
        verify += whole;
        check += block;
    }
    state.counters["write_s"] = write;
    state.counters["verify_of_write"] = write > 0 ? verify / write : 0;
    state.counters["check_of_write"] = write > 0 ? check / write : 0;
}

BENCHMARK(BM_ReadBackCost)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

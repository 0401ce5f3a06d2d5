// How much of a database write is spent waiting on the device itself: a 2.1 MB
// image goes into a virtual Orvo whose realistic timing is scaled down, and
// the efficiency is the device model's busy and transfer time divided by the
// wall time of the whole write (ERASE then UPGRADE, polled like the monitor
// polls, only faster). Goal: 0.95 or better.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

constexpr std::uint32_t kDatabaseAddress = 0x00510000;
constexpr std::size_t kDatabaseSize = 2'100'000;

bool RunToEnd(const std::string& path, std::int32_t operation, DfuHandle image) {
    DfuOperationContext c{};
    c.Operation = operation;
    c.Image = image;
    path.copy(c.DevicePath, sizeof c.DevicePath - 1);
    DfuHandle handle = 0;
    if (STDFUPRT_LaunchOperation(&c, &handle) != STDFU_NOERROR)
        return false;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        STDFUPRT_GetOperationStatus(handle, &c);
    } while (c.ErrorCode == STDFU_NOERROR && c.Percent != 100);
    STDFUPRT_StopOperation(handle, &c);
    return c.ErrorCode == STDFU_NOERROR;
}

void BM_WriteDatabase(benchmark::State& state) {
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    VirtualUsbBus bus;
    auto orvo = std::make_shared<VirtualOrvo>();
    const std::string path = bus.Plug(orvo);
    SetUsbBackend(&bus);

    std::vector<std::uint8_t> data(kDatabaseSize);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
    DfuMapping* map = nullptr;
    std::uint32_t count = 0;
    if (STDFUPRT_CreateMappingFromDevice(path.c_str(), &map, &count) != STDFU_NOERROR || count < 2) {
        state.SkipWithError("no memory map");
        return;
    }
    auto* entry = reinterpret_cast<DfuMapping*>(reinterpret_cast<char*>(map) + kDfuMappingStride);

    double deviceSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        DfuHandle erase = DfuImageStore::Create({1, "", {{kDatabaseAddress, data}}});
        DfuHandle upgrade = DfuImageStore::Create({1, "", {{kDatabaseAddress, data}}});
        STDFUFILES_FilterImageForOperation(erase, entry, OPERATION_ERASE, 0);
        STDFUFILES_FilterImageForOperation(upgrade, entry, OPERATION_UPGRADE, 0);
        orvo->SetTiming(OrvoTiming::Scaled(scale));
        orvo->ResetStats();

        const auto start = std::chrono::steady_clock::now();
        const bool ok = RunToEnd(path, OPERATION_ERASE, erase) && RunToEnd(path, OPERATION_UPGRADE, upgrade);
        const auto wall = std::chrono::steady_clock::now() - start;

        orvo->SetTiming(OrvoTiming::Instant());
        STDFUFILES_DestroyImage(&erase);
        STDFUFILES_DestroyImage(&upgrade);
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
    STDFUPRT_DestroyMapping(&map);
    SetUsbBackend(nullptr);
}

// Timing scaled to 10 % and 25 % of the real part.
BENCHMARK(BM_WriteDatabase)->Arg(10)->Arg(25)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Conversion of a full database (150,060 records, the most the device takes)
// in random, ascending and descending order, against `gzip -1` over the same
// text as a yardstick for "as fast as streaming the file through a cheap
// compressor". Reports records per second, the conversion's peak heap and the
// process's peak resident size, and the ratio of conversion to gzip time.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "database/database_conversion.h"
#include "database_generator.h"
#include "common/program_folder.h"

extern char** environ;

// --- heap accounting: every allocation of the process counted by its usable size

namespace {
std::atomic<std::size_t> g_heapNow{0};
std::atomic<std::size_t> g_heapPeak{0};

void* CountedAlloc(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        return nullptr;
    const std::size_t now = g_heapNow.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
    std::size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void CountedFree(void* p) noexcept {
    if (p == nullptr)
        return;
    g_heapNow.fetch_sub(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = CountedAlloc(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { CountedFree(p); }

namespace {

constexpr std::size_t kRecords = 150060;
constexpr double kMiB = 1024.0 * 1024.0;

struct Workspace {
    Workspace() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvo-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder = pattern + "/";
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
};

Workspace& Space() {
    static Workspace space;
    return space;
}

const char* OrderName(int order) {
    static const std::array<const char*, 3> names{"random", "ascending", "descending"};
    return names[static_cast<std::size_t>(order)];
}

// The text of one order, written once into its own sub-folder; returns the base.
std::string PrepareInput(int order) {
    const std::string dir = Space().folder + OrderName(order) + "/";
    const std::string base = dir + "tesselDB";
    if (!std::filesystem::exists(base + ".txt")) {
        std::filesystem::create_directories(dir);
        DatabaseGeneratorOptions options;
        options.records = kRecords;
        options.order = static_cast<RecordOrder>(order);
        options.seed = 7;
        const std::string text = GenerateDatabaseText(options);
        std::FILE* f = std::fopen((base + ".txt").c_str(), "wb");
        if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
            std::abort();
    }
    return base;
}

// Runs gzip -1 on the text, output discarded; the child's whole life is timed.
void RunGzip(const std::string& textPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("gzip"), const_cast<char*>("-1"), const_cast<char*>("-c"),
                    const_cast<char*>(textPath.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "gzip", &actions, nullptr, argv, environ) != 0)
        std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::abort();
}

std::array<double, 3> g_gzipSeconds{};

void BM_Gzip1(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const std::string textPath = PrepareInput(order) + ".txt";
    state.SetLabel(OrderName(order));
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RunGzip(textPath);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    g_gzipSeconds[static_cast<std::size_t>(order)] = total / static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
}

double MaxRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
}

// The whole product step: both passes, the packed database and its DFU file.
void BM_PrepareDatabase(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const std::string base = PrepareInput(order);
    CycleEventChannel events;
    state.SetLabel(OrderName(order));
    double total = 0;
    std::size_t peakHeap = 0;
    for (auto _ : state) {
        const std::size_t heapBefore = g_heapNow.load();
        g_heapPeak.store(heapBefore);
        const auto start = std::chrono::steady_clock::now();
        const PreparedDatabase prepared = PrepareDatabase(base, ProgramFolderOf(base), events);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peakHeap = std::max(peakHeap, g_heapPeak.load() - heapBefore);
        if (!prepared.Ready()) {
            state.SkipWithError((std::string("conversion failed: ") + ConversionResultText(prepared.result)).c_str());
            break;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
    state.counters["peak_heap_MiB"] = static_cast<double>(peakHeap) / kMiB;
    state.counters["maxrss_MiB"] = MaxRssMiB();
    const double gzip = g_gzipSeconds[static_cast<std::size_t>(order)];
    if (gzip > 0 && state.iterations() > 0)
        state.counters["ratio_to_gzip1"] = total / static_cast<double>(state.iterations()) / gzip;
}

// The two passes alone, without the DFU file.
void BM_ConversionPasses(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const std::string base = PrepareInput(order);
    const std::string folder = base.substr(0, base.size() - std::string("tesselDB").size());
    state.SetLabel(OrderName(order));
    for (auto _ : state) {
        std::FILE* text = std::fopen((base + ".txt").c_str(), "rb");
        DatabaseConversion conversion(folder);
        conversion.SplitDatabaseText(text);
        std::fclose(text);
        benchmark::DoNotOptimize(conversion.SortDatabaseRecords(base));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
}

}  // namespace

BENCHMARK(BM_Gzip1)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareDatabase)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConversionPasses)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

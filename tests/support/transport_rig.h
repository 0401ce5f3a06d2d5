#pragma once

// Helpers to drive the DFU protocol engine against virtual Orvos over some USB
// backend. The transport contract tests (transport_contract.h) use them, and
// so can any test that needs a write or a read-back on a device.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/dfu/dfu_engine.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "device/usb/usb_backend.h"
#include "virtual_orvo.h"

// A USB backend with virtual Orvos on it: the virtual bus, or libusb over the
// umockdev fixture.
class TransportRig {
public:
    virtual ~TransportRig() = default;
    virtual UsbBackend& Backend() = 0;
    // Plugs a device in and returns its path as the backend enumerates it.
    virtual std::string Plug(std::shared_ptr<VirtualOrvo> orvo) = 0;
    virtual void Unplug(const std::string& path) = 0;
    // Makes the device unopenable for this user; false when the rig cannot.
    virtual bool DenyAccess(const std::string& path) = 0;
};

using TransportRigFactory = std::function<std::unique_ptr<TransportRig>()>;

struct OperationOutcome {
    DfuResult error = STDFU_NOERROR;  // the launch's result, or the record's ErrorCode
    DfuOperationContext context{};
    std::chrono::milliseconds took{0};
    bool finished = false;  // Percent reached 100
    std::vector<int> percents;
};

// Short limits so that fault cases end quickly.
inline DfuEngineSettings FastEngineSettings() {
    DfuEngineSettings s;
    s.controlTimeoutMs = 250;
    s.timeoutRetries = 2;
    s.maxPollWaitMs = 2000;
    s.stringTimeoutMs = 250;
    return s;
}

inline DfuOperationContext MakeContext(const std::string& path, std::int32_t operation, DfuHandle image) {
    DfuOperationContext c{};
    MakeDfuOperationContext(path, operation, image, c);
    return c;
}

// Polls like the operation monitor does, only every millisecond, records the
// percentages, and stops an operation that runs past the limit.
inline DfuRunOptions RigRunOptions(OperationOutcome& out, std::chrono::milliseconds limit) {
    DfuRunOptions options;
    options.progress = [&out](int percent) { out.percents.push_back(percent); };
    options.stop = [start = std::chrono::steady_clock::now(), limit] {
        return std::chrono::steady_clock::now() - start > limit;
    };
    options.pollInterval = std::chrono::milliseconds(1);
    return options;
}

// Runs `run` (one of the engine's runs, given the options) and tells how it went.
template <typename Run>
OperationOutcome RunTimed(Run&& run, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    OperationOutcome out;
    const auto start = std::chrono::steady_clock::now();
    const DfuRunResult result = run(RigRunOptions(out, limit));
    out.context = result.context;
    out.error = result.error;
    out.finished = result.finished;
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return out;
}

inline OperationOutcome RunOperation(DfuProtocolEngine& engine, const std::string& path, std::int32_t operation,
                                     DfuHandle image, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return RunTimed([&](const DfuRunOptions& options) { return RunDfuOperation(engine, path, operation, image, options); },
                    limit);
}

inline DfuHandle MakeImage(std::vector<DfuImageElementData> elements, std::uint8_t alternate = 1) {
    DfuImageData image;
    image.alternateSetting = alternate;
    image.elements = std::move(elements);
    return DfuImageStore::Create(std::move(image));
}

// The map entry of alternate setting 1 inside a table.
inline DfuMapping* EntryOfAlternate1(DfuMapping* table) { return DfuMapEntryOf(table, 1); }

// A whole write as the updater does it, through the engine's one way to
// device memory: ERASE of the touched sectors, then UPGRADE in wTransferSize
// blocks, element by element. Returns the first failure.
inline OperationOutcome WriteElements(DfuProtocolEngine& engine, const std::string& path,
                                      const std::vector<DfuImageElementData>& elements) {
    OperationOutcome out;
    for (const DfuImageElementData& element : elements) {
        out = RunTimed([&](const DfuRunOptions& options) {
            return WriteDfuRegion(engine, path, element.address, element.data, options);
        });
        if (out.error != STDFU_NOERROR || !out.finished)
            break;
    }
    return out;
}

inline OperationOutcome ReadRange(DfuProtocolEngine& engine, const std::string& path, std::uint32_t address,
                                  std::uint32_t length, std::vector<std::uint8_t>& data) {
    return RunTimed([&](const DfuRunOptions& options) {
        return ReadDfuRegion(engine, path, address, length, data, options);
    });
}

inline std::vector<std::uint8_t> PatternBytes(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

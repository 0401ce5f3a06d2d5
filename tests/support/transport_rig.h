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

// Launches, polls like the operation monitor does, and stops the operation
// when it has finished, failed, or run past the limit.
inline OperationOutcome RunOperation(DfuProtocolEngine& engine, const std::string& path, std::int32_t operation,
                                     DfuHandle image, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    OperationOutcome out;
    const auto start = std::chrono::steady_clock::now();
    DfuRunOptions options;
    options.progress = [&out](int percent) { out.percents.push_back(percent); };
    options.stop = [start, limit] { return std::chrono::steady_clock::now() - start > limit; };
    options.pollInterval = std::chrono::milliseconds(1);
    const DfuRunResult run = RunDfuOperation(engine, path, operation, image, options);
    out.context = run.context;
    out.error = run.error;
    out.finished = run.finished;
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return out;
}

inline DfuHandle MakeImage(std::vector<DfuImageElementData> elements, std::uint8_t alternate = 1) {
    DfuImageData image;
    image.alternateSetting = alternate;
    image.elements = std::move(elements);
    return DfuImageStore::Create(std::move(image));
}

// The map entry of alternate setting 1 inside a table.
inline DfuMapping* EntryOfAlternate1(DfuMapping* table) { return DfuMapEntryOf(table, 1); }

// A whole write as the updater does it: ERASE of the touched sectors, then
// UPGRADE in wTransferSize blocks. Returns the first failure.
inline OperationOutcome WriteElements(DfuProtocolEngine& engine, const std::string& path,
                                      std::vector<DfuImageElementData> elements) {
    OperationOutcome out;
    DfuDeviceMap map;
    out.error = map.Read(engine, path);
    if (out.error != STDFU_NOERROR)
        return out;
    DfuHandle erase = MakeImage(elements);
    DfuHandle upgrade = MakeImage(std::move(elements));
    out.error = STDFUFILES_FilterImageForOperation(erase, map.EntryOf(1), OPERATION_ERASE, 0);
    if (out.error == STDFU_NOERROR)
        out.error = STDFUFILES_FilterImageForOperation(upgrade, map.EntryOf(1), OPERATION_UPGRADE, 0);
    if (out.error == STDFU_NOERROR) {
        out = RunOperation(engine, path, OPERATION_ERASE, erase);
        if (out.error == STDFU_NOERROR && out.finished)
            out = RunOperation(engine, path, OPERATION_UPGRADE, upgrade);
    }
    STDFUFILES_DestroyImage(&erase);
    STDFUFILES_DestroyImage(&upgrade);
    return out;
}

inline OperationOutcome ReadRange(DfuProtocolEngine& engine, const std::string& path, std::uint32_t address,
                                  std::uint32_t length, std::vector<std::uint8_t>& data) {
    OperationOutcome out;
    DfuDeviceMap map;
    out.error = map.Read(engine, path);
    if (out.error != STDFU_NOERROR)
        return out;
    DfuHandle image = MakeImage({{address, std::vector<std::uint8_t>(length, 0)}});
    out.error = STDFUFILES_FilterImageForOperation(image, map.EntryOf(1), OPERATION_UPLOAD, 0);
    if (out.error == STDFU_NOERROR)
        out = RunOperation(engine, path, OPERATION_UPLOAD, image);
    data.clear();
    if (out.finished) {
        if (const auto copy = DfuImageStore::Snapshot(image); copy && copy->elements.size() == 1)
            data = copy->elements[0].data;
    }
    STDFUFILES_DestroyImage(&image);
    return out;
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

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
#include "device/dfu/dfu_library.h"
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

// Launches one operation straight on the engine (no device object: these
// helpers test the engine and the backends beneath the updater), polls its
// record every millisecond, records the percentages, and stops it at 100 %,
// at the first error, or once it runs past the limit.
inline OperationOutcome RunOperation(DfuProtocolEngine& engine, const std::string& path, std::int32_t operation,
                                     DfuHandle image, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    OperationOutcome out;
    const auto start = std::chrono::steady_clock::now();
    const auto took = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    };
    DfuOperationContext context{};
    if (!MakeDfuOperationContext(path, operation, image, context)) {
        out.error = STDFU_BAD_PARAMETER;
        return out;
    }
    EngineDfuLibrary library(engine);
    DfuHandle handle = 0;
    if (out.error = LaunchDfuOperation(library, context, handle); out.error != STDFU_NOERROR) {
        out.took = took();
        return out;
    }
    for (;;) {
        const DfuPollState state = PollDfuOperation(library, handle, context);
        out.percents.push_back(static_cast<int>(context.Percent));
        if (state != DfuPollState::Running)
            break;
        if (took() > limit) {
            library.StopOperation(handle, &context);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    out.context = context;
    out.error = context.ErrorCode;
    out.finished = context.Percent == 100;
    out.took = took();
    return out;
}

// Runs a region image (MakeDfuRegionImage) and releases it; a finished
// read's bytes go to `readInto` when given.
inline OperationOutcome RunRegionImage(DfuProtocolEngine& engine, const std::string& path, std::int32_t operation,
                                       DfuHandle image, std::vector<std::uint8_t>* readInto = nullptr) {
    EngineDfuLibrary library(engine);
    OperationOutcome out = RunOperation(engine, path, operation, image);
    if (readInto != nullptr && out.error == STDFU_NOERROR && out.finished && !DfuRegionBytes(library, image, *readInto))
        out.error = STDFU_UNEXPECTED_ERROR;
    library.DestroyImage(&image);
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

// A whole write as the updater does it, through the engine's one way to
// device memory: ERASE of the touched sectors, then UPGRADE in wTransferSize
// blocks, element by element; both passes are checked against the map before
// anything is erased. Returns the first failure.
inline OperationOutcome WriteElements(DfuProtocolEngine& engine, const std::string& path,
                                      const std::vector<DfuImageElementData>& elements) {
    OperationOutcome out;
    EngineDfuLibrary library(engine);
    for (const DfuImageElementData& element : elements) {
        DfuDeviceMap map;
        if (out.error = map.Read(engine, path); out.error != STDFU_NOERROR)
            return out;
        const DfuHandle erase =
            MakeDfuRegionImage(library, map.EntryOf(1), OPERATION_ERASE, element.address, element.data, out.error);
        if (erase == 0)
            return out;
        DfuHandle program =
            MakeDfuRegionImage(library, map.EntryOf(1), OPERATION_UPGRADE, element.address, element.data, out.error);
        if (program == 0) {
            DfuHandle unused = erase;
            library.DestroyImage(&unused);
            return out;
        }
        out = RunRegionImage(engine, path, OPERATION_ERASE, erase);
        if (out.error != STDFU_NOERROR || !out.finished) {
            library.DestroyImage(&program);
            break;
        }
        out = RunRegionImage(engine, path, OPERATION_UPGRADE, program);
        if (out.error != STDFU_NOERROR || !out.finished)
            break;
    }
    return out;
}

inline OperationOutcome ReadRange(DfuProtocolEngine& engine, const std::string& path, std::uint32_t address,
                                  std::uint32_t length, std::vector<std::uint8_t>& data) {
    data.clear();
    OperationOutcome out;
    DfuDeviceMap map;
    if (out.error = map.Read(engine, path); out.error != STDFU_NOERROR)
        return out;
    if (length > kDfuLargestRegion) {
        out.error = STDFU_BAD_PARAMETER;
        return out;
    }
    // Only the range counts: the read replaces the bytes.
    const std::vector<std::uint8_t> range(length, 0);
    EngineDfuLibrary library(engine);
    const DfuHandle image = MakeDfuRegionImage(library, map.EntryOf(1), OPERATION_UPLOAD, address, range, out.error);
    if (image == 0)
        return out;
    return RunRegionImage(engine, path, OPERATION_UPLOAD, image, &data);
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

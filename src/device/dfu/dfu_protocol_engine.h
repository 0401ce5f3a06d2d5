#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_types.h"

class UsbBackend;
class DfuOperationRegistry;
class DfuOperationEndSignal;

// The DFU protocol engine: reads a device's memory map and runs operations,
// each on a transfer thread of its own, over one USB backend with one set of
// limits. Every call returns STDFU_NOERROR on success. An operation handle
// belongs to the engine that launched it. Destroying the engine stops and
// joins whatever still runs: every wait is interruptible and every transfer
// has a timeout, so that ends promptly.
class DfuProtocolEngine {
public:
    // The backend is not owned and must outlive the engine.
    explicit DfuProtocolEngine(UsbBackend& backend, const DfuEngineSettings& settings = {});
    ~DfuProtocolEngine();
    DfuProtocolEngine(const DfuProtocolEngine&) = delete;
    DfuProtocolEngine& operator=(const DfuProtocolEngine&) = delete;

    UsbBackend& Backend() const { return backend_; }
    const DfuEngineSettings& Settings() const { return settings_; }

    DfuResult CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping, std::uint32_t* count);
    // A table is plain memory, whichever engine built it.
    static DfuResult DestroyMapping(DfuMapping** mapping);
    DfuResult LaunchOperation(DfuOperationContext* context, DfuHandle* operation);
    DfuResult GetOperationStatus(DfuHandle operation, DfuOperationContext* context);
    DfuResult StopOperation(DfuHandle operation, DfuOperationContext* context);
    // Called on the transfer thread as each operation ends (not when it is
    // stopped); null: nobody. Once this returns, the earlier listener is
    // called no more.
    void ListenForOperationEnds(std::function<void()> listener);

private:
    UsbBackend& backend_;
    const DfuEngineSettings settings_;
    // Before the registry: its transfers raise it until they are joined.
    const std::unique_ptr<DfuOperationEndSignal> ended_;
    const std::unique_ptr<DfuOperationRegistry> operations_;
};

// The product's engine: real devices through the platform's backend, with the
// default limits. The STDFUPRT_* functions and VendorDfuLibrary use it.
DfuProtocolEngine& DefaultDfuEngine();

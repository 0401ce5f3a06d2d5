#pragma once

#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "support/transport_rig.h"
#include "virtual_usb_bus.h"

// A virtual bus with a protocol engine on it and the DFU libraries over that
// engine: what a test builds a device on, in place of the product's engine on
// real devices. A fixture derives from it before the fixture that owns the
// device, so that all of it outlives the device (and the engine, which joins
// its transfers, goes before the bus they talk to).
struct VirtualBusEngine {
    explicit VirtualBusEngine(const DfuEngineSettings& settings = FastEngineSettings())
        : engine(bus, settings), library(engine) {}

    VirtualUsbBus bus;
    DfuProtocolEngine engine;
    EngineDfuLibrary library;
};

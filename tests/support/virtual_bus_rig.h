#pragma once

#include "support/transport_rig.h"
#include "virtual_usb_bus.h"

class VirtualBusRig : public TransportRig {
public:
    UsbBackend& Backend() override { return bus_; }
    std::string Plug(std::shared_ptr<VirtualOrvo> orvo) override { return bus_.Plug(std::move(orvo)); }
    void Unplug(const std::string& path) override { bus_.Unplug(path); }
    bool DenyAccess(const std::string& path) override {
        bus_.DenyAccess(path);
        return true;
    }
    VirtualUsbBus& Bus() { return bus_; }

private:
    VirtualUsbBus bus_;
};

inline std::unique_ptr<TransportRig> MakeVirtualBusRig() { return std::make_unique<VirtualBusRig>(); }

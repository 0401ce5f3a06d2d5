#pragma once

#include "device/usb/usb_backend.h"

// A bus with nothing on it: every search finds nothing, every open fails.
class NullUsbBackend : public UsbBackend {
public:
    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override { return {}; }
    std::unique_ptr<UsbDeviceHandle> Open(const std::string&, UsbStatus& status) override {
        status = UsbStatus::NotFound;
        return nullptr;
    }
};

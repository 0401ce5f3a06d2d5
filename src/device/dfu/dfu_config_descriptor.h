#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/usb/usb_backend.h"

// What the engine needs from a configuration descriptor: the first DFU-mode
// interface, its alternate settings with their string indexes, and
// wTransferSize from the DFU functional descriptor.
struct DfuInterfaceLayout {
    struct Alternate {
        std::uint8_t setting = 0;
        std::uint8_t nameIndex = 0;  // iInterface: the memory-map string
    };
    std::uint8_t interfaceNumber = 0;
    std::vector<Alternate> alternates;
    std::uint16_t transferSize = 0;  // 0 when there is no functional descriptor
};

// Returns false when the descriptor holds no DFU-mode interface. Walks the
// bytes with bounds checks: a malformed descriptor cannot make it read past.
bool ParseDfuConfigDescriptor(const std::vector<std::uint8_t>& descriptor, DfuInterfaceLayout& layout);

// Opens the device at `path` and reads its DFU interface layout; null when the
// device cannot be opened or shows no DFU-mode interface.
std::unique_ptr<UsbDeviceHandle> OpenDfuDevice(UsbBackend& backend, const std::string& path,
                                               DfuInterfaceLayout& layout);

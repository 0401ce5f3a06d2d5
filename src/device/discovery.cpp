#include <algorithm>
#include <cctype>

#include "device/dfu_device.h"
#include "device/dfu/dfu_protocol.h"
#include "device/usb/usb_backend.h"

// Every DFU-mode interface present leaves its path behind, so the last one
// enumerated wins; only an interface whose description could be read counts
// as a device found. A search that finds nothing keeps the previous path.
// The backend opens each device only to read its product string, with a short
// timeout, so this is cheap enough for the 500 ms presence timers.
bool CDfuDevice::FindDevice() {
    bool found = false;
    for (const DfuInterfaceInfo& info : CurrentUsbBackend().EnumerateDfuInterfaces()) {
        std::string path = info.path;
        std::transform(path.begin(), path.end(), path.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        DevicePath.Set(std::move(path));
        if (info.description)
            found = true;
    }
    return found;
}

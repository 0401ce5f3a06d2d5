#include "device/dfu/dfu_config_descriptor.h"

#include "device/dfu/dfu_class.h"

namespace {
constexpr std::uint8_t kInterfaceDescriptor = 4;
}

bool ParseDfuConfigDescriptor(const std::vector<std::uint8_t>& d, DfuInterfaceLayout& layout) {
    layout = {};
    bool found = false;
    bool inDfuInterface = false;
    for (std::size_t at = 0; at + 2 <= d.size();) {
        const std::size_t length = d[at];
        if (length < 2 || at + length > d.size())
            break;
        const std::uint8_t type = d[at + 1];
        if (type == kInterfaceDescriptor && length >= 9) {
            const bool dfuMode = d[at + 5] == dfu::kInterfaceClass && d[at + 6] == dfu::kInterfaceSubClass &&
                                 d[at + 7] == dfu::kInterfaceProtocolDfuMode;
            inDfuInterface = dfuMode && (!found || d[at + 2] == layout.interfaceNumber);
            if (inDfuInterface) {
                found = true;
                layout.interfaceNumber = d[at + 2];
                layout.alternates.push_back({d[at + 3], d[at + 8]});
            }
        } else if (type == dfu::kFunctionalDescriptorType && length >= 7 && inDfuInterface) {
            layout.transferSize = static_cast<std::uint16_t>(d[at + 5] | (d[at + 6] << 8));
        }
        at += length;
    }
    return found;
}

std::unique_ptr<UsbDeviceHandle> OpenDfuDevice(UsbBackend& backend, const std::string& path,
                                               DfuInterfaceLayout& layout) {
    UsbStatus status = UsbStatus::Ok;
    auto handle = backend.Open(path, status);
    if (!handle)
        return nullptr;
    std::vector<std::uint8_t> config;
    if (handle->GetConfigDescriptor(config) != UsbStatus::Ok || !ParseDfuConfigDescriptor(config, layout))
        return nullptr;
    return handle;
}

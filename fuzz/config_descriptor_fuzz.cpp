// Feeds arbitrary bytes as a device's configuration descriptor: to the parser
// on its own, and as the descriptor of a device on the virtual bus from which
// the engine builds its memory map (every alternate setting it finds, with
// wTransferSize from the DFU functional descriptor).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "answering_device.h"
#include "device/dfu/dfu_config_descriptor.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "virtual_usb_bus.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Each alternate the parser reports is an interface descriptor of the DFU
// class in the bytes, with that interface number, setting and string index.
bool OccursAsInterface(const std::vector<std::uint8_t>& d, std::uint8_t interfaceNumber,
                       const DfuInterfaceLayout::Alternate& alternate) {
    for (std::size_t at = 0; at + 9 <= d.size(); ++at) {
        if (d[at] >= 9 && d[at + 1] == 4 && d[at + 2] == interfaceNumber && d[at + 3] == alternate.setting &&
            d[at + 5] == 0xFE && d[at + 6] == 0x01 && d[at + 7] == 0x02 && d[at + 8] == alternate.nameIndex)
            return true;
    }
    return false;
}

void CheckParser(const std::vector<std::uint8_t>& bytes, DfuInterfaceLayout& layout) {
    const bool found = ParseDfuConfigDescriptor(bytes, layout);
    Check(found == !layout.alternates.empty());
    if (!found)
        Check(layout.transferSize == 0);
    for (const auto& alternate : layout.alternates)
        Check(OccursAsInterface(bytes, layout.interfaceNumber, alternate));

    // The parser walks the descriptors in order: cut the bytes short and it
    // sees the same descriptors up to the cut, so what it finds is the start
    // of what it found in the whole.
    if (bytes.empty())
        return;
    const std::vector<std::uint8_t> shorter(bytes.begin(), bytes.end() - 1);
    DfuInterfaceLayout cut;
    if (!ParseDfuConfigDescriptor(shorter, cut))
        return;
    Check(found && cut.interfaceNumber == layout.interfaceNumber);
    Check(cut.alternates.size() <= layout.alternates.size());
    for (std::size_t i = 0; i < cut.alternates.size(); ++i) {
        Check(cut.alternates[i].setting == layout.alternates[i].setting);
        Check(cut.alternates[i].nameIndex == layout.alternates[i].nameIndex);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Never destroyed, like the fuzzer's other state.
    static auto* bus = new VirtualUsbBus();
    static auto* engine = new DfuProtocolEngine(*bus);
    const std::vector<std::uint8_t> bytes(data, data + size);
    DfuInterfaceLayout layout;
    CheckParser(bytes, layout);

    auto device = std::make_shared<AnsweringDevice>(bytes, std::span<const std::uint8_t>());
    const std::string path = bus->Plug(device);
    DfuMapping* map = nullptr;
    std::uint32_t count = 0;
    const DfuResult result = engine->CreateMappingFromDevice(path.c_str(), &map, &count);
    bus->Unplug(path);
    if (result != STDFU_NOERROR) {
        Check(map == nullptr);
        return 0;
    }
    // Every alternate has a string (index 0 has none): the map has one entry
    // per alternate, each with the transfer size from the descriptor.
    Check(map != nullptr && count == layout.alternates.size() && count <= 255);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto& entry = *reinterpret_cast<const DfuMapping*>(reinterpret_cast<const char*>(map) + i * kDfuMappingStride);
        Check(entry.alternateSetting == layout.alternates[i].setting);
        Check(entry.transferSize == layout.transferSize);
        Check(entry.entryCount == count);
        Check(!MappingSectors(entry).empty());
    }
    Check(STDFUPRT_DestroyMapping(&map) == STDFU_NOERROR && map == nullptr);
    return 0;
}

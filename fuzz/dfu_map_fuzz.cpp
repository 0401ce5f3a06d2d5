// Feeds arbitrary bytes to what the engine reads from a device before any
// transfer: the memory-map interface strings and the configuration
// descriptor. A device can send anything; nothing it sends may crash or read
// past a buffer, and whatever parses must make a consistent map.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/dfu/dfu_config_descriptor.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ParsedMemoryMap map;
    std::string error;
    if (ParseMemoryMap(text, map, error)) {
        for (const DfuMapSector& s : map.sectors) {
            if (s.size == 0 || s.properties == 0 || s.properties > 7 ||
                static_cast<std::uint64_t>(s.address) + s.size > 0x100000000ull)
                std::abort();
        }
        DfuMapping* table = BuildMappingTable({map}, 2048, {1});
        if (!table)
            std::abort();
        if (!map.sectors.empty()) {
            const DfuMapSector& first = map.sectors.front();
            if (!FindSector(*table, first.address))
                std::abort();
            RangeHasProperties(*table, first.address, first.size, first.properties);
        }
        STDFUPRT_DestroyMapping(&table);
    }
    DfuInterfaceLayout layout;
    ParseDfuConfigDescriptor(std::vector<std::uint8_t>(data, data + size), layout);
    return 0;
}

#include <cstdio>

#include "common/command_registry.h"
#include "device/dfu_device.h"

namespace {

int RunQuery(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orvo-tool query SERIAL\n");
        return 2;
    }
    CDfuDevice device("orvo-tool");
    device.DeviceSerial.Set(args.front());
    std::printf("%s\n", device.BuildDownloadQuery().c_str());
    return 0;
}

const CommandRegistration registration{"query", "SERIAL", "print the signed download query for a serial number",
                                       &RunQuery};

}  // namespace

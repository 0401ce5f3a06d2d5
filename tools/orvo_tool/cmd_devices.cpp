#include <cstdio>

#include "tool_support/command_registry.h"
#include "device/dfu/dfu_protocol.h"
#include "device/usb/usb_backend.h"
#include "usb_session.h"

// Lists every DFU-mode interface with its path and description, in the order
// the updater's discovery sees them. A device the user may not open is listed
// with the fix. Exit code 0 when at least one device counts as found.

namespace {

int RunDevices(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    UsbSession session;
    std::string error;
    if (!session.Start(args, error))
        return SessionStartFailure(session.FailedOnUsage(), error);
    if (!args.empty())
        return RejectLeftovers(args);
    bool any = false;
    for (const DfuInterfaceInfo& info : session.Backend().EnumerateDfuInterfaces()) {
        if (info.description) {
            std::printf("%s\t%s\n", info.path.c_str(), info.description->c_str());
            any = true;
        } else if (info.descriptionStatus == UsbStatus::AccessDenied) {
            std::printf("%s\t(no access)\n", info.path.c_str());
            std::fprintf(stderr, "%s\n", AccessHint(info.path).c_str());
        } else {
            std::printf("%s\t(description unreadable: %s)\n", info.path.c_str(), UsbStatusName(info.descriptionStatus));
        }
    }
    if (!any)
        std::fprintf(stderr, "no usable DFU-mode device found\n");
    session.Finish(error);
    return any ? ExitSuccess : ExitFailure;
}

const CommandRegistration registration{"devices", UsbSession::OptionsUsage(),
                                       "list DFU-mode devices: path and description", &RunDevices,
                                       UsbSession::OptionsHelp() + "Exit code 1 when no usable device is found.",
                                       "orvo-tool devices --virtual"};

}  // namespace

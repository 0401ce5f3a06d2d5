#include <cstdio>

#include "tool_support/command_registry.h"
#include "tool_support/json_writer.h"
#include "device/dfu/dfu_protocol.h"
#include "device/usb/usb_backend.h"
#include "usb_session.h"

// Lists every DFU-mode interface with its path and description, in the order
// the updater's discovery sees them. A device the user may not open is listed
// with the fix. Exit code 0 when at least one device counts as found.

namespace {

// "usable", "no access" or "unreadable": whether the updater can use it.
const char* AccessName(const DfuInterfaceInfo& info) {
    if (info.description)
        return "usable";
    return info.descriptionStatus == UsbStatus::AccessDenied ? "no access" : "unreadable";
}

std::string DeviceJson(const DfuInterfaceInfo& info) {
    JsonObject object;
    object.String("path", info.path);
    if (info.description)
        object.String("description", *info.description);
    else
        object.Null("description");
    object.String("access", AccessName(info));
    if (!info.description && info.descriptionStatus != UsbStatus::AccessDenied)
        object.String("problem", UsbStatusName(info.descriptionStatus));
    return object.Text();
}

int RunDevices(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    UsbSession session;
    std::string error;
    if (!session.Start(args, error))
        return SessionStartFailure(session.FailedOnUsage(), error);
    const bool json = TakeFlag(args, "--json");
    if (!args.empty())
        return RejectLeftovers(args);
    const auto found = session.Backend().EnumerateDfuInterfaces();
    bool any = false;
    if (json) {
        std::vector<std::string> items;
        for (const DfuInterfaceInfo& info : found) {
            items.push_back(DeviceJson(info));
            any = any || info.description.has_value();
            if (!info.description && info.descriptionStatus == UsbStatus::AccessDenied)
                std::fprintf(stderr, "%s\n", AccessHint(info.path).c_str());
        }
        std::printf("%s\n", JsonList(items).c_str());
        session.Finish(error);
        return any ? ExitSuccess : ExitFailure;
    }
    for (const DfuInterfaceInfo& info : found) {
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

const CommandRegistration registration{"devices", std::string("[--json] ") + UsbSession::OptionsUsage(),
                                       "list DFU-mode devices: path and description", &RunDevices,
                                       "  --json                 a JSON list of objects: path, description (null when\n"
                                       "                         it cannot be read), access (usable, no access,\n"
                                       "                         unreadable) and, when unreadable, problem\n" +
                                           UsbSession::OptionsHelp() +
                                           "Exit code 1 when no usable device is found.",
                                       "orvo-tool devices --virtual"};

}  // namespace

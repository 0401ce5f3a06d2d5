#include <cstdio>

#include "cycle_json.h"
#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "device_session.h"
#include "ui/resources.h"
#include "update/device_database.h"
#include "update/holdings_text.h"

// Reads the attached device's identity block the way the updater does before
// a download and says whether the updater would accept it.
// Exit code: 0 accepted, 1 rejected, unreadable or no device.

namespace {

const char* VerdictText(IdentifyResult result) {
    switch (result) {
    case IdentifyResult::Accepted: return "accepted";
    case IdentifyResult::Rejected: return "rejected";
    case IdentifyResult::Unreadable: return "unreadable";
    }
    return "unreadable";
}

// The identity block as read, raw (JSON escapes what it must); what the
// Orvo holds only for an accepted one.
void PrintIdentityJson(CDfuDevice& device, IdentifyResult result, const DatabaseHoldings& holdings) {
    JsonObject object;
    object.String("device", device.DevicePath.Get())
        .String("serial", device.DeviceSerial.Get())
        .String("identity_text", device.DeviceIdText.Get())
        .String("product_name", device.DeviceProductName.Get())
        .String("verdict", VerdictText(result));
    AddHoldings(object, "", holdings);
    std::printf("%s\n", object.Text().c_str());
}

int RunIdentify(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    DeviceSession session;
    std::string error;
    if (!session.Open(args, error))
        return SessionStartFailure(session.OpenFailedOnUsage(), error);
    const bool json = TakeFlag(args, "--json");
    const bool picked = session.PickDevice(args, error);
    if (!args.empty())
        return RejectLeftovers(args);
    if (!picked) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }

    CDfuDevice& device = session.Device();
    // As during the update cycle: no percent and no success text on the bar.
    session.Signals().ShowProgress = 0;
    const IdentifyResult result = device.IdentifyDevice("Orvo");

    DatabaseHoldings holdings;
    const bool read = result == IdentifyResult::Accepted && ReadHoldings(device, holdings);
    if (!read)
        holdings = {};
    if (json) {
        PrintIdentityJson(device, result, holdings);
    } else {
        std::printf("device: %s\n", PrintableText(device.DevicePath.Get()).c_str());
        std::printf("serial: %s\n", PrintableText(device.DeviceSerial.Get()).c_str());
        std::printf("identity text: %s\n", PrintableText(device.DeviceIdText.Get()).c_str());
        std::printf("product name: %s\n", PrintableText(device.DeviceProductName.Get()).c_str());
        std::printf("verdict: %s\n", VerdictText(result));
        if (result == IdentifyResult::Accepted)
            std::printf("database: %s\n",
                        read ? HoldingsLine(Resources().StringLookup(), holdings).c_str() : "unreadable");
    }
    if (!session.Finish(error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    return result == IdentifyResult::Accepted ? ExitSuccess : ExitFailure;
}

}  // namespace

static const CommandRegistration registration{
    "identify", std::string("[--json] [--device PATH] ") + UsbSession::OptionsUsage(),
    "read the device's identity block: serial, identity text, product name, the verdict and its database", &RunIdentify,
    "  --json                 one JSON object: device, serial, identity_text, product_name, verdict,\n"
    "                         database, date (2026-12-01), records (all three null when not read;\n"
    "                         database false, records 0 for an Orvo without a database)\n" +
        DeviceOptionHelp() + UsbSession::OptionsHelp() +
        "Exit code 0 when the updater accepts the device; 1 when it rejects it, the block is unreadable or\n"
        "no device is found (the verdict line tells which).",
    "orvo-tool identify --virtual"};

#include <cstdio>

#include "tool_support/command_registry.h"
#include "database/download_request.h"

namespace {

int RunQuery(const std::vector<std::string>& args) {
    if (args.empty())
        return UsageError("a SERIAL is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    std::printf("%s\n", BuildDownloadQuery(args.front()).Text().c_str());
    return ExitSuccess;
}

const CommandRegistration registration{"query", "SERIAL", "print the signed download query for a serial number",
                                       &RunQuery, "SERIAL: the device's serial number as the identity block holds it.",
                                       "orvo-tool query 1234567"};

}  // namespace

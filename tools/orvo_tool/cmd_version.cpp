#include <cstdio>

#include "common/version.h"
#include "tool_support/command_registry.h"

static int RunVersion(const std::vector<std::string>& args) {
    if (!args.empty())
        return RejectLeftovers(args);
    std::printf("orvo-tool %s\n", OrvoVersion);
    return ExitSuccess;
}

static const CommandRegistration registration{"version", "", "print the version", &RunVersion, "",
                                              "orvo-tool version"};

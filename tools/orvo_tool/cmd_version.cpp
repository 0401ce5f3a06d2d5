#include <cstdio>

#include "tool_support/command_registry.h"

static int RunVersion(const std::vector<std::string>& args) {
    if (!args.empty())
        return RejectLeftovers(args);
    std::puts("orvo-tool 1.0.7");
    return ExitSuccess;
}

static const CommandRegistration registration{"version", "", "print the version", &RunVersion, "",
                                              "orvo-tool version"};

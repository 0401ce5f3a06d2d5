#include <cstdio>

#include "common/command_registry.h"

static int RunVersion(const std::vector<std::string>&) {
    std::puts("orvo-tool 1.0.7");
    return 0;
}

static const CommandRegistration registration{"version", "", "print the version", &RunVersion};

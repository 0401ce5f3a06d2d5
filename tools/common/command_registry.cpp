#include "common/command_registry.h"

#include <algorithm>
#include <cstdio>

std::vector<Command>& RegisteredCommands() {
    static std::vector<Command> commands;
    return commands;
}

CommandRegistration::CommandRegistration(std::string name, std::string usage, std::string summary,
                                         CommandFunction run) {
    RegisteredCommands().push_back({std::move(name), std::move(usage), std::move(summary), std::move(run)});
}

static void PrintUsage(const std::string& program) {
    auto commands = RegisteredCommands();
    std::sort(commands.begin(), commands.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    std::fprintf(stderr, "usage: %s COMMAND [ARGUMENTS]\n\ncommands:\n", program.c_str());
    for (const auto& c : commands)
        std::fprintf(stderr, "  %s %s\n      %s\n", c.name.c_str(), c.usage.c_str(), c.summary.c_str());
}

int RunCommandLine(const std::string& program, int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(program);
        return 2;
    }
    const std::string name = argv[1];
    for (const auto& c : RegisteredCommands()) {
        if (c.name == name)
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "%s: unknown command '%s'\n\n", program.c_str(), name.c_str());
    PrintUsage(program);
    return 2;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name && it + 1 != args.end()) {
            value = *(it + 1);
            args.erase(it, it + 2);
            return true;
        }
        if (it->rfind(name + "=", 0) == 0) {
            value = it->substr(name.size() + 1);
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
    const auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

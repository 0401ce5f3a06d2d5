#include "tool_support/command_registry.h"

#include <algorithm>
#include <cstdio>

#include "tool_support/console_text.h"

namespace {

struct Running {
    std::string program;
    const Command* command = nullptr;
    // The options the command asked for a value: one of them left over
    // without its value is named as such, not as an unknown option.
    std::vector<std::string> valueOptions;
};

Running& Current() {
    static Running running;
    return running;
}

std::vector<Command> SortedCommands() {
    auto commands = RegisteredCommands();
    std::sort(commands.begin(), commands.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    return commands;
}

const Command* FindCommand(const std::string& name) {
    for (const auto& c : RegisteredCommands())
        if (c.name == name)
            return &c;
    return nullptr;
}

std::string Synopsis(const Command& command) {
    return command.usage.empty() ? command.name : command.name + " " + command.usage;
}

bool IsHelpOption(const std::string& arg) { return arg == "--help" || arg == "-h"; }

void PrintExitCodes(std::FILE* out) {
    std::fprintf(out, "exit codes: 0 success, 1 the operation failed, 2 wrong command line\n");
}

void PrintProgramHelp(const std::string& program, std::FILE* out) {
    std::fprintf(out, "usage: %s COMMAND [ARGUMENTS]\n       %s help COMMAND   (or %s COMMAND --help)\n\ncommands:\n",
                 program.c_str(), program.c_str(), program.c_str());
    for (const auto& c : SortedCommands())
        std::fprintf(out, "  %s\n      %s\n", Synopsis(c).c_str(), c.summary.c_str());
    if (FindCommand("version") != nullptr)
        std::fprintf(out, "  --version\n      the same as the version command\n");
    std::fputc('\n', out);
    PrintExitCodes(out);
}

void PrintCommandHelp(const std::string& program, const Command& command) {
    std::printf("usage: %s %s\n\n%s\n", program.c_str(), Synopsis(command).c_str(), command.summary.c_str());
    if (!command.details.empty())
        std::printf("\n%s\n", command.details.c_str());
    if (!command.example.empty())
        std::printf("\nexample:\n  %s\n", command.example.c_str());
    std::fputc('\n', stdout);
    PrintExitCodes(stdout);
}

int UnknownCommand(const std::string& program, const std::string& name) {
    const char* what = !name.empty() && name[0] == '-' ? "option" : "command";
    std::fprintf(stderr, "%s: unknown %s '%s'; see '%s --help'\n", program.c_str(), what, name.c_str(),
                 program.c_str());
    return ExitUsage;
}

}  // namespace

std::vector<Command>& RegisteredCommands() {
    static std::vector<Command> commands;
    return commands;
}

CommandRegistration::CommandRegistration(std::string name, std::string usage, std::string summary,
                                         CommandFunction run, std::string details, std::string example) {
    RegisteredCommands().push_back({std::move(name), std::move(usage), std::move(summary), std::move(run),
                                    std::move(details), std::move(example)});
}

int RunCommandLine(const std::string& program, int argc, char** argv) {
    UseUtf8Console();
    if (argc < 2) {
        PrintProgramHelp(program, stderr);
        return ExitUsage;
    }
    std::string name = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (name == "--version" && FindCommand("version") != nullptr)
        name = "version";
    if (IsHelpOption(name) || name == "help") {
        if (args.empty()) {
            PrintProgramHelp(program, stdout);
            return ExitSuccess;
        }
        const Command* command = args.size() == 1 ? FindCommand(args[0]) : nullptr;
        if (command == nullptr)
            return UnknownCommand(program, args[0]);
        PrintCommandHelp(program, *command);
        return ExitSuccess;
    }
    const Command* command = FindCommand(name);
    if (command == nullptr)
        return UnknownCommand(program, name);
    if (std::any_of(args.begin(), args.end(), IsHelpOption)) {
        PrintCommandHelp(program, *command);
        return ExitSuccess;
    }
    Current() = {program, command, {}};
    return command->run(args);
}

std::string CommandPrefix() {
    const Running& running = Current();
    if (running.command == nullptr)
        return running.program + ": ";
    return running.program + " " + running.command->name + ": ";
}

int UsageError(const std::string& problem) {
    const Running& running = Current();
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), problem.c_str());
    if (running.command != nullptr)
        std::fprintf(stderr, "usage: %s %s\nsee '%s help %s'\n", running.program.c_str(),
                     Synopsis(*running.command).c_str(), running.program.c_str(), running.command->name.c_str());
    return ExitUsage;
}

int RejectLeftovers(const std::vector<std::string>& args) {
    if (args.empty())
        return ExitSuccess;
    const std::string& first = args.front();
    const auto& valueOptions = Current().valueOptions;
    if (std::find(valueOptions.begin(), valueOptions.end(), first) != valueOptions.end())
        return UsageError(first + " needs a value");
    if (first.size() > 1 && first[0] == '-')
        return UsageError("unknown option '" + first + "'");
    return UsageError("unexpected argument '" + first + "'");
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    Current().valueOptions.push_back(name);
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

bool ParseWholeNumber(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19)
        return false;
    std::uint64_t parsed = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        parsed = parsed * 10 + static_cast<std::uint64_t>(c - '0');
    }
    value = parsed;
    return true;
}

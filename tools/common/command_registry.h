#pragma once

#include <functional>
#include <string>
#include <vector>

// Sub-commands of a command-line program register themselves from their own
// source file:
//   static const CommandRegistration reg{"convert", "BASE", "convert BASE.txt", &RunConvert};
using CommandFunction = std::function<int(const std::vector<std::string>& args)>;

struct Command {
    std::string name;
    std::string usage;
    std::string summary;
    CommandFunction run;
};

std::vector<Command>& RegisteredCommands();

struct CommandRegistration {
    CommandRegistration(std::string name, std::string usage, std::string summary, CommandFunction run);
};

// Dispatches argv[1] to its command; prints the list of commands on a missing
// or unknown name.
int RunCommandLine(const std::string& program, int argc, char** argv);

// Small argument helpers shared by the commands.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

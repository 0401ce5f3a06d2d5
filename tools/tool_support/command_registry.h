#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Sub-commands of a command-line program register themselves from their own
// source file:
//   static const CommandRegistration reg{"convert", "BASE", "convert BASE.txt", &RunConvert,
//                                        "options ...", "orvo-tool convert work/tesselDB"};
using CommandFunction = std::function<int(const std::vector<std::string>& args)>;

struct Command {
    std::string name;
    std::string usage;
    std::string summary;
    CommandFunction run;
    // Shown by `PROGRAM help NAME`: the options, one per line, and anything
    // worth knowing about the exit code.
    std::string details;
    std::string example;
};

std::vector<Command>& RegisteredCommands();

struct CommandRegistration {
    CommandRegistration(std::string name, std::string usage, std::string summary, CommandFunction run,
                        std::string details = {}, std::string example = {});
};

// Exit codes shared by every command of every program.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;  // the operation failed
inline constexpr int ExitUsage = 2;    // the command line was wrong

// Dispatches argv[1] to its command. `PROGRAM --version` is the `version`
// command. `PROGRAM --help`, `PROGRAM help` and
// `PROGRAM help COMMAND` / `PROGRAM COMMAND --help` print help on stdout and
// exit 0; a missing or unknown command or option is a usage error (exit 2).
int RunCommandLine(const std::string& program, int argc, char** argv);

// For the running command: prints "PROGRAM COMMAND: problem", its usage line
// and where the help is, on stderr. Returns ExitUsage.
int UsageError(const std::string& problem);
// A usage error naming the first argument left over after parsing (an
// option given without its value, an unknown option or an unexpected
// argument); ExitSuccess when none is left.
int RejectLeftovers(const std::vector<std::string>& args);
// "PROGRAM COMMAND: " for messages of the running command.
std::string CommandPrefix();

// Small argument helpers shared by the commands.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
// Decimal digits only: no sign, no space, no base prefix, at most 19 digits.
bool ParseWholeNumber(const std::string& text, std::uint64_t& value);

// Keeps the README true: every line of each code block that follows a
// "<!-- tested commands -->" comment in README.md is run, in order, in one
// scratch folder with the built programs first on the PATH, and must exit 0.
// A line ending in '&' runs in the background until the end of the test;
// "127.0.0.1:PORT" in later lines becomes the address that background program
// printed ("listening on 127.0.0.1:N"). The README must also name every
// command and option the programs' help shows, and the tested blocks must
// run every command.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_files.h"
#include "support/tool_run.h"

namespace {

const std::string Marker = "<!-- tested commands -->";
const std::string PortPlaceholder = "127.0.0.1:PORT";
const std::string Programs[] = {"orvo-tool", "orvo-sim", "orvo-demo"};

std::string ReadmeText() {
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The command lines of every block that follows the marker.
std::vector<std::string> TestedCommands(const std::string& readme) {
    std::vector<std::string> commands;
    std::istringstream lines(readme);
    std::string line;
    enum class State { Prose, AfterMarker, InBlock } state = State::Prose;
    while (std::getline(lines, line)) {
        const std::string trimmed = Trim(line);
        switch (state) {
        case State::Prose:
            if (trimmed == Marker)
                state = State::AfterMarker;
            break;
        case State::AfterMarker:
            if (trimmed.rfind("```", 0) == 0)
                state = State::InBlock;
            else if (!trimmed.empty())
                state = State::Prose;  // a marker not followed by a block marks nothing
            break;
        case State::InBlock:
            if (trimmed.rfind("```", 0) == 0)
                state = State::Prose;
            else if (!trimmed.empty() && trimmed[0] != '#')
                commands.push_back(trimmed);
            break;
        }
    }
    return commands;
}

std::string BinDir() { return TestProgramFolder(); }

bool Built(const std::string& program) { return ProgramInThisBuild(program); }

std::string FirstWord(const std::string& command) { return command.substr(0, command.find(' ')); }

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolRun RunShell(const std::string& folder, const std::string& command) {
    return RunShellCommand("cd " + ShellQuote(folder) + " && PATH=" + ShellQuote(BinDir()) +
                           ":\"$PATH\" timeout 600 sh -c " + ShellQuote(command) + " 2>&1");
}

// The programs a README session started in the background; stopped when
// the session ends, pass or fail.
class Background {
public:
    ~Background() {
        for (const pid_t pid : pids_)
            ::kill(pid, SIGTERM);
    }

    // Starts `command` and waits for the address it prints; empty when it
    // printed none within a minute.
    std::string Start(const std::string& folder, const std::string& command) {
        const std::string log = folder + "/background" + std::to_string(pids_.size()) + ".log";
        const ToolRun started = RunShell(folder, command + " >" + ShellQuote(log) + " 2>&1 & echo $!");
        pids_.push_back(static_cast<pid_t>(std::stol(started.output)));
        const std::string listening = "listening on ";
        for (int attempt = 0; attempt < 600; ++attempt) {
            const std::string text = ReadAll(log);
            const auto at = text.find(listening + "127.0.0.1:");
            if (at != std::string::npos) {
                const auto from = at + listening.size();
                const auto end = text.find_first_not_of("0123456789.:", from);
                return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }

private:
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<pid_t> pids_;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Commands and options a program's help shows: "  NAME USAGE" lines under
// "commands:" and every -x / --xyz token of its help and its commands' help.
struct HelpContents {
    std::vector<std::string> commands;
    std::set<std::string> options;
};

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsOptionChar(char c) { return IsLower(c) || (c >= '0' && c <= '9') || c == '-'; }

// Every "-x" or "--xyz" that starts a word (after a space, '[', '(', ',' or '|').
void CollectOptions(const std::string& help, std::set<std::string>& options) {
    const std::string starters = " \n\t[(,|";
    for (std::size_t at = 0; at < help.size(); ++at) {
        if (help[at] != '-' || (at > 0 && starters.find(help[at - 1]) == std::string::npos))
            continue;
        std::size_t name = at + 1;
        if (name < help.size() && help[name] == '-')
            ++name;
        if (name >= help.size() || !IsLower(help[name]))
            continue;
        std::size_t end = name;
        while (end < help.size() && IsOptionChar(help[end]))
            ++end;
        options.insert(help.substr(at, end - at));
        at = end;
    }
}

HelpContents ReadHelp(const std::string& program) {
    HelpContents contents;
    const ToolRun help = RunProgram(program, "--help");
    EXPECT_EQ(help.exitCode, 0) << program << " --help\n" << help.output;
    CollectOptions(help.output, contents.options);
    std::istringstream lines(help.output);
    std::string line;
    bool inCommands = false;
    while (std::getline(lines, line)) {
        if (line == "commands:") {
            inCommands = true;
            continue;
        }
        // "  NAME USAGE"; the summary lines below it are indented further.
        if (inCommands && line.size() > 2 && line.rfind("  ", 0) == 0 && IsLower(line[2]))
            contents.commands.push_back(line.substr(2, line.find(' ', 2) - 2));
        else if (inCommands && line.empty())
            inCommands = false;
    }
    for (const std::string& command : contents.commands) {
        const ToolRun commandHelp = RunProgram(program, "help " + command);
        EXPECT_EQ(commandHelp.exitCode, 0) << program << " help " << command << "\n" << commandHelp.output;
        CollectOptions(commandHelp.output, contents.options);
    }
    return contents;
}

}  // namespace

TEST(ReadmeCommands, EveryTestedCommandRunsAndSucceeds) {
    const std::vector<std::string> commands = TestedCommands(ReadmeText());
    ASSERT_FALSE(commands.empty()) << "README.md has no block after " << Marker;
    ScratchFolder folder("readme_commands");
    Background background;
    std::string host;
    for (const std::string& written : commands) {
        if (!Built(FirstWord(written))) {
            std::printf("not made by this build, not run: %s\n", written.c_str());
            continue;
        }
        std::string command = written;
        if (command.find(PortPlaceholder) != std::string::npos) {
            ASSERT_FALSE(host.empty()) << "no server runs for: " << written;
            command = Replace(command, PortPlaceholder, host);
        }
        if (command.back() == '&') {
            host = background.Start(folder.Path().string(), Trim(command.substr(0, command.size() - 1)));
            ASSERT_FALSE(host.empty()) << "printed no address: " << written;
            continue;
        }
        const ToolRun run = RunShell(folder.Path().string(), command);
        EXPECT_EQ(run.exitCode, 0) << written << "\n" << run.output;
    }
}

TEST(ReadmeCommands, ReadmeNamesAndTestsEveryCommandAndOption) {
    const std::string readme = ReadmeText();
    const std::vector<std::string> tested = TestedCommands(readme);
    for (const std::string& program : Programs) {
        if (!Built(program))
            continue;
        const HelpContents help = ReadHelp(program);
        for (const std::string& option : help.options)
            EXPECT_NE(readme.find(option), std::string::npos) << program << " option " << option << " not in README";
        for (const std::string& command : help.commands) {
            const std::string line = program + " " + command;
            EXPECT_NE(readme.find(line), std::string::npos) << line << " not in README";
            const bool run = std::any_of(tested.begin(), tested.end(), [&](const std::string& t) {
                return t.rfind(line + " ", 0) == 0 || t == line;
            });
            EXPECT_TRUE(run) << line << " is in no tested block of the README";
        }
    }
    // orvo-demo has no commands; the program itself must be tried.
    EXPECT_TRUE(std::any_of(tested.begin(), tested.end(), [](const std::string& t) { return FirstWord(t) == "orvo-demo"; }));
}

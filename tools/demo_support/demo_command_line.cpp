#include "demo_support/demo_command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "tool_support/input_file.h"
#include "virtual_orvo.h"

namespace {

bool ParseFault(const std::string& text, DemoFault& fault) {
    for (const DemoFaultOption& option : DemoFaultOptions()) {
        if (text == option.option) {
            fault = option.fault;
            return true;
        }
    }
    return false;
}

std::string FaultList(const char* separator) {
    std::string list;
    for (const DemoFaultOption& option : DemoFaultOptions())
        list += (list.empty() ? "" : separator) + std::string(option.option);
    return list;
}

// What a serial must be, for the bench and its window alike.
constexpr std::size_t SerialLength = 7;
bool IsSerial(const std::string& text) {
    return text.size() == SerialLength &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

void PrintHelpText(const DemoHelpTexts& texts) {
    std::printf(
        "usage: orvo-demo [--headless] [--serial SSSSSSS] [--fault FAULT] [--flash FILE] [--timeout SECONDS]\n"
        "                 [--screenshot FILE.png] [--shots DIR] [--retry] [--then SSSSSSS]\n"
        "\n"
        "The updater wired to virtual Orvos and the simulated update server in one process. %s\n"
        "\n"
        "options:\n"
        "  --headless           one unattended cycle %s: plugs in the virtual Orvo,\n"
        "                       prints every status and progress-bar text, unplugs it after the success\n"
        "                       text and exits 0 once the cycle is back at waiting; the last line,\n"
        "                       'UI thread longest stall: N ms', is the longest the window went without\n"
        "                       serving its events\n"
        "  --serial SSSSSSS     the virtual Orvo's serial: %zu letters or digits (default 0012345);\n"
        "                       windowed: the bench window's serial field\n"
        "  --fault FAULT        the fault the (first) cycle meets, one of:\n"
        "                       %s (default none);\n"
        "                       headless: the run then ends non-zero (slow-usb only slows the Orvo's\n"
        "                       descriptor reads: the cycle succeeds); windowed: the bench's choice\n"
        "  --flash FILE         keeps the virtual Orvo's flash in FILE (as orvo-tool --virtual=FILE)\n"
        "  --timeout SECONDS    (headless) ends the run with exit code 1 after SECONDS (default 240),\n"
        "                       in any state: a write under way is stopped without asking\n"
        "  --screenshot FILE    saves the updater's window at the end\n"
        "  --shots DIR          (headless) saves during-write.png and upgrade-successful.png in DIR\n"
        "  --retry              (headless) after a failed cycle the Orvo is unplugged and plugged in again;\n"
        "                       the run exits 0 only if that second cycle succeeds\n"
        "  --then SSSSSSS       (headless) after the first Orvo's success a second one with this serial is\n"
        "                       plugged in before the first is pulled; the run exits 0 only when both were\n"
        "                       updated. With --flash FILE its flash is kept in FILE with -SSSSSSS added\n"
        "                       before the extension (flash-7654321.bin)\n"
        "  --help, -h           this help\n"
        "\n"
        "example:\n"
        "  orvo-demo --headless --serial 0012345 --fault device-error --flash flash.bin\n"
        "\n"
        "exit codes: 0 success, 1 the cycle failed, timed out or could not start, 2 wrong command line\n",
        texts.windowed, texts.headlessWhere, SerialLength, FaultList(", ").c_str());
}

// One line naming what is wrong, and where the help is.
bool Refuse(const std::string& problem) {
    std::fprintf(stderr, "orvo-demo: %s; see 'orvo-demo --help'\n", problem.c_str());
    return false;
}

bool ParseTimeout(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    seconds = std::stoi(text);
    return seconds > 0;
}

}  // namespace

bool ParseDemoOptions(const std::vector<std::string>& arguments, DemoOptions& options) {
    const std::size_t count = arguments.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& arg = arguments[i];
        if (arg == "--headless") {
            options.headless = true;
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "help") {
            options.help = true;
            continue;
        }
        if (arg == "--retry") {
            options.retry = true;
            continue;
        }
        static const char* const withValue[] = {"--screenshot", "--shots", "--flash", "--serial", "--fault",
                                                "--timeout",    "--then"};
        if (std::find(std::begin(withValue), std::end(withValue), arg) == std::end(withValue))
            return Refuse("unknown option '" + arg + "'");
        if (i + 1 >= count)
            return Refuse(arg + " needs a value");
        const std::string& value = arguments[++i];
        if (arg == "--screenshot")
            options.screenshot = value;
        else if (arg == "--shots")
            options.shotsFolder = value;
        else if (arg == "--flash")
            options.flash = value;
        else if ((arg == "--serial" || arg == "--then") && !IsSerial(value))
            return Refuse(arg + " '" + value + "' is not a serial: a serial is " + std::to_string(SerialLength) +
                          " letters or digits");
        else if (arg == "--serial")
            options.serial = value;
        else if (arg == "--then")
            options.then = value;
        else if (arg == "--fault" && !ParseFault(value, options.fault))
            return Refuse("unknown --fault '" + value + "' (one of " + FaultList(", ") + ")");
        else if (arg == "--timeout" && !ParseTimeout(value, options.timeoutSeconds))
            return Refuse("--timeout needs a whole number of seconds from 1 to 999999");
    }
    if (!options.then.empty() && options.then == options.serial)
        return Refuse("--then needs another serial than the first Orvo's (" + options.serial + ")");
    return true;
}

void PrintDemoHelp(const DemoHelpTexts& texts) { PrintHelpText(texts); }

std::string SecondFlashPath(const std::string& flash, const std::string& serial) {
    const std::filesystem::path path(flash);
    std::filesystem::path second = path;
    second.replace_filename(path.stem().string() + "-" + serial + path.extension().string());
    return second.string();
}

bool UsableFlashFile(const std::string& path, std::string& error) {
    // Where the flash is kept after the run: refused at the start, not after it.
    if (!CheckRegularFile(path, true, error) || !CheckOutputFile(path, error))
        return false;
    std::error_code missing;
    const auto size = std::filesystem::file_size(path, missing);
    if (!missing && size != kOrvoDataFlashSize) {
        error = path + " is not a flash image (" + std::to_string(size) + " bytes, not " +
                std::to_string(kOrvoDataFlashSize) + ")";
        return false;
    }
    return true;
}

std::unique_ptr<DemoBench> MakeDemoBenchFor(const DemoOptions& options) {
    std::string flashError;
    const std::string secondFlash =
        options.flash.empty() || options.then.empty() ? std::string() : SecondFlashPath(options.flash, options.then);
    if ((!options.flash.empty() && !UsableFlashFile(options.flash, flashError)) ||
        (!secondFlash.empty() && !UsableFlashFile(secondFlash, flashError))) {
        std::fprintf(stderr, "orvo-demo: %s\n", flashError.c_str());
        return nullptr;
    }
    DemoBenchOptions benchOptions;
    // At the real part's speed the window shows each stage; unattended runs
    // go five times faster.
    benchOptions.timing = options.headless ? OrvoTiming::Scaled(0.2) : OrvoTiming::Real();
    auto bench = MakeDemoBench(benchOptions);
    if (!options.flash.empty())
        bench->KeepFlashIn({}, options.flash);
    if (!secondFlash.empty())
        bench->KeepFlashIn(options.then, secondFlash);
    bench->SetNextFault(options.fault);
    return bench;
}

#include "qt/command_line.h"

#include <algorithm>
#include <cctype>

#include "ui/language_table.h"

#ifndef ORVO_VERSION
#define ORVO_VERSION "unknown"
#endif

namespace {

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

[[maybe_unused]] bool HasValue(const char* value) { return value != nullptr && *value != '\0'; }

// The toolkit's own options, which it also takes with two dashes; an option
// with one dash is always left to it.
bool IsToolkitOption(const std::string& argument) {
    static const char* const options[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                                          "stylesheet", "reverse", "session", "display", "geometry",
                                          "qwindowgeometry", "qwindowicon", "qwindowtitle", "widgetcount",
                                          "qmljsdebugger", "title", "name"};
    const std::string name = argument.substr(2, argument.find('=') - 2);
    return std::find(std::begin(options), std::end(options), name) != std::end(options);
}

}  // namespace

std::optional<int> LanguageIndexFromName(const std::string& name) {
    for (const LanguageInfo& language : Languages) {
        if (Lowered(name) == Lowered(language.name) || name == std::to_string(language.languageIndex))
            return language.languageIndex;
    }
    return std::nullopt;
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    const std::string languageOption = "--language=";
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--locations") {
            line.locations = true;
        } else if (argument == "--quit-after-start") {
            line.quitAfterStart = true;
        } else if (argument.rfind(languageOption, 0) == 0) {
            const std::string name = argument.substr(languageOption.size());
            line.firstStartLanguage = LanguageIndexFromName(name);
            if (!line.firstStartLanguage)
                line.error = "unknown language '" + name + "'";
        } else if (argument.rfind("--", 0) == 0 && !IsToolkitOption(argument) && line.error.empty()) {
            line.error = "unknown option '" + argument + "'";
        }
    }
    return line;
}

std::string UsageText(const std::string& programName) {
    std::string names;
    for (const LanguageInfo& language : Languages)
        names += std::string(names.empty() ? "" : ", ") + language.name;
    return "Usage: " + programName + " [options]\n"
           "Updates the camera database of an Orvo connected by USB.\n"
           "\n"
           "Options:\n"
           "  -h, --help            show this help and exit\n"
           "  --version             show the version and exit\n"
           "  --locations           show where the settings file, the history, the log,\n"
           "                        the working files, the picture and the language\n"
           "                        libraries are, and exit\n"
           "  --language=NAME       on a first start, take this language instead of asking\n"
           "                        (" + names + ")\n"
           "  --quit-after-start    end as soon as the window has been shown (checks an\n"
           "                        installation)\n";
}

std::string LocationLines(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size() + 1);
    std::string lines;
    for (const auto& [label, place] : rows)
        lines += label + ":" + std::string(width - label.size() - 1 + 2, ' ') + place + "\n";
    return lines;
}

std::string LanguageNameOfIndex(int languageIndex) {
    for (const LanguageInfo& language : Languages)
        if (language.languageIndex == languageIndex)
            return std::string(language.name) + " (" + std::to_string(languageIndex) + ")";
    return "unknown (" + std::to_string(languageIndex) + ")";
}

std::string VersionText() { return std::string("orvo-updater ") + ORVO_VERSION; }

bool DisplayLikelyAvailable(const std::vector<std::string>& arguments, const char* qpaPlatform,
                            const char* x11Display, const char* waylandDisplay) {
#if defined(__linux__)
    if (HasValue(qpaPlatform) || HasValue(x11Display) || HasValue(waylandDisplay))
        return true;
    return std::find(arguments.begin(), arguments.end(), "-platform") != arguments.end() ||
           std::find(arguments.begin(), arguments.end(), "--platform") != arguments.end();
#else
    (void)arguments;
    (void)qpaPlatform;
    (void)x11Display;
    (void)waylandDisplay;
    return true;
#endif
}

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The updater's own command-line options. Everything else on the command line
// is left to the toolkit (its -platform, -style and similar options).
struct CommandLine {
    bool help = false;
    bool version = false;
    // Prints where the settings file, the history, the log, the working
    // files, the picture and the language libraries are, and ends without
    // opening a window.
    bool locations = false;
    // The language a first start takes instead of asking with the language
    // dialog; an existing settings file keeps its own.
    std::optional<int> firstStartLanguage;
    // Ends as soon as the main window has been shown: checks that an
    // installation starts, without anyone at the screen.
    bool quitAfterStart = false;
    // Set when an option of ours is malformed, or an option with two dashes
    // is neither ours nor the toolkit's.
    std::string error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The language index for a name ("German", any case) or an index ("8") that
// the language dialog offers; nothing for anything else.
std::optional<int> LanguageIndexFromName(const std::string& name);

std::string UsageText(const std::string& programName);
// What --locations prints: one "label: place" line a row, the places
// aligned after the longest label.
std::string LocationLines(const std::vector<std::pair<std::string, std::string>>& rows);
// "German (8)"; "unknown (12)" for an index no language has.
std::string LanguageNameOfIndex(int languageIndex);
std::string VersionText();

// Whether the toolkit is likely to find a display: a platform named by the
// environment or the command line, or an X11 or Wayland display. On other
// systems than Linux the toolkit decides.
bool DisplayLikelyAvailable(const std::vector<std::string>& arguments, const char* qpaPlatform,
                            const char* x11Display, const char* waylandDisplay);

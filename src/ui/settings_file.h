#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/region_table.h"

// The ten-line settings file "tessell": language fragment, region fragment,
// last download size, then the sizes of regions 0 to 6.
inline constexpr const char* SettingsFileName = "tessell";
inline constexpr std::size_t MaxSettingsTokenLength = 19;

// What could be read from the file; a value that is missing or unreadable
// stays empty so the caller keeps what it had.
struct SettingsFileValues {
    std::string languageFragment;
    std::optional<std::string> regionFragment;
    std::optional<std::int32_t> downloadSizeKb;
    std::array<std::optional<std::int32_t>, RegionCount> regionSizes{};
};

// Reads the values the way the file has always been read: white space
// separates the values, whatever the line ends. The first two values are
// tokens of at most 19 characters; a longer one is cut there and the rest of
// its line dropped, so its tail never becomes the next value. Reading the
// numbers stops at the first one that cannot be read. Empty when the text has
// no first token (an empty file).
std::optional<SettingsFileValues> ParseSettingsText(std::string_view text);

// The file's text with "\n" line ends; written in text mode, so the
// platform's line end reaches the disk.
std::string FormatSettingsText(const std::string& languageFragment, const std::string& regionFragment,
                               std::int32_t downloadSizeKb, const RegionSlots& regionSizes);

// The whole file, or empty when it cannot be opened. Reads at most 64 KiB:
// an edited file that large holds nothing more we would read.
std::optional<std::string> ReadSettingsFile(const std::string& path);

// Writes `text` to a temporary file beside `path` and renames it into place,
// so a reader never sees half a file and a failed write leaves the old one.
// Returns whether the new file is in place.
bool ReplaceSettingsFile(const std::string& path, const std::string& text);

#pragma once

#include <string>
#include <vector>

// Rules of the main view's painting that need no toolkit: which font height
// the status text gets, how it splits into lines, and where the picture lives.

inline constexpr int LongStatusThreshold = 155;  // characters; longer texts get the small font
inline constexpr int StatusLineHeightNormal = 19;  // pixels per line
inline constexpr int StatusLineHeightLong = 16;

// Characters of a UTF-8 text (code points), so a translated text is measured
// the way a reader sees it rather than by its byte count.
std::size_t CharacterCount(const std::string& utf8);

// 19 for at most 155 characters, 16 above.
int StatusLineHeight(const std::string& statusText);

// The text's lines, split at "\n"; a trailing "\n" ends an empty last line.
std::vector<std::string> StatusLines(const std::string& statusText);

// ProgramFolder followed directly by the picture's file name.
std::string PictureFilePath(const std::string& programFolder);
// The picture in the first resource folder that has one; empty when none has.
std::string PictureFilePath(const std::vector<std::string>& resourceFolders);

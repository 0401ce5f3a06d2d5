#pragma once

#include <string>

// Fixed names appended to ProgramFolder; nothing is inserted between.
namespace WorkingFile {
inline constexpr const char* DatabaseBase = "tesselDB";
inline constexpr const char* TextExt = ".txt";
inline constexpr const char* BinExt = ".bin";
inline constexpr const char* DfuExt = ".dfu";
inline constexpr const char* Picture = "Tessel.bmp";
}  // namespace WorkingFile

// "FileBuffer01" to "FileBuffer30" for index 1 to 30.
std::string BufferFileName(int index);

// Removes the cycle's three database files; a missing file is skipped.
void DeleteWorkingFiles(const std::string& programFolder);

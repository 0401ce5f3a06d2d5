#pragma once

#include <string>

// Texts that more than one layer shows or hands on, defined here once.

// Result texts of PrepareDatabase besides the base path it returns on success.
namespace PrepareResult {
inline constexpr const char* DatabaseFileOpenError = "DB FILE OPEN ERROR";
inline constexpr const char* BinaryFileOpenError = "BIN FILE OPEN ERROR";
// A restore's backup is not (or no longer) kept.
inline constexpr const char* BackupUnavailable = "BACKUP UNAVAILABLE";
}  // namespace PrepareResult

// "IoError %08xh" for an operating system error code.
std::string IoErrorText(int errorCode);

#pragma once

#include <cstdint>

// String ids of the texts that layers below the language resources publish
// with their errors, so that a window can show them in the language in force.
// The numbers belong to the string table (ResourceId names them too).
namespace TextId {
inline constexpr std::uint16_t VerifyFailed = 172;       // %1: the address, "0x%08X"
inline constexpr std::uint16_t BackupUnreadable = 173;
inline constexpr std::uint16_t NoMemoryMap = 174;
inline constexpr std::uint16_t NoUsbPermission = 175;
inline constexpr std::uint16_t OtherDeviceAttached = 176;
inline constexpr std::uint16_t NotADatabaseFile = 205;  // %1: the file
}  // namespace TextId

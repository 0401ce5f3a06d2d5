#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "device/dfu_preparation.h"

// The database layer's DFU files: where the database and the date stamp go,
// and the date file's bytes.

namespace DfuPreparation {

// Device addresses of the plain files the updater wraps.
inline constexpr std::uint32_t DatabaseAddress = 0x00510000;
inline constexpr std::uint32_t DateStampAddress = 0x004E0000;
inline constexpr std::uint32_t DateStampLength = 10;

// The date stamp's bytes for a local date: "%d.%m.%y", carriage return,
// line feed; always 10 bytes.
std::string DateStampBytes(const std::tm& localDate);

}  // namespace DfuPreparation

#pragma once

#include <cstdint>

// The engine's DFU file reader refuses files above this size; the tools
// refuse them before reading a byte.
inline constexpr std::uint64_t kMaxDfuFileBytes = 256ull * 1024 * 1024;

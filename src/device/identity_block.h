#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>


// The device's 56-byte identity block at 0x004F0000.
inline constexpr std::uint32_t kIdentityBlockAddress = 0x004F0000;
inline constexpr std::size_t kIdentityBlockSize = 56;

struct IdentityFields {
    std::string serial;       // bytes from 0 up to NUL, first 7 characters
    std::string idText;       // bytes from 8 up to NUL, 0xFF bytes removed
    std::string productName;  // bytes from 40 up to NUL, 0xFF bytes removed
};

// Parses a read-back block. A block shorter than the identity block is not
// one: nothing is read past the data, and the caller treats it as a failed
// read. Texts end at the first NUL or at the end of the data.
std::optional<IdentityFields> ParseIdentityBlock(std::span<const std::uint8_t> block);

// A device whose identity text carries 19 decimal digits from its second
// character on is one of ours even when its product name differs.
bool PassesDigitRule(const std::string& idText);

// The verdict on a block that was read: accepted by exact product name or by
// the digit rule.
bool AcceptsIdentity(const IdentityFields& fields, const std::string& productName);

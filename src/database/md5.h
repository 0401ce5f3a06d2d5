#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// MD5 message digest (RFC 1321). Used to sign the download request; not for
// anything that needs a secure hash.
//
// Use: Init, any number of Update calls, then Final. Final clears the state;
// call Init again before hashing another message.
class Md5 {
public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5() { Init(); }

    void Init();
    void Update(const void* data, std::size_t length);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    Digest Final();

    // The digest of the bytes of `text` (no terminator) as 32 upper-case
    // hexadecimal digits, in digest order.
    std::string HexDigest(std::string_view text);

private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_{};
    std::uint64_t bitCount_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

// Upper-case hexadecimal, two digits per byte.
std::string ToUpperHex(const Md5::Digest& digest);

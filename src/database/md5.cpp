#include "database/md5.h"

#include <cstring>

namespace {

// Per-round shift amounts, RFC 1321 section 3.4.
constexpr int S11 = 7, S12 = 12, S13 = 17, S14 = 22;
constexpr int S21 = 5, S22 = 9, S23 = 14, S24 = 20;
constexpr int S31 = 4, S32 = 11, S33 = 16, S34 = 23;
constexpr int S41 = 6, S42 = 10, S43 = 15, S44 = 21;

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
constexpr std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
constexpr void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, int s,
                    std::uint32_t t) {
    a = b + RotateLeft(a + Fn(b, c, d) + x + t, s);
}

// The message is little-endian whatever the host's byte order.
std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void StoreLittleEndian(std::uint32_t v, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void Md5::Init() {
    state_ = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    bitCount_ = 0;
    buffer_.fill(0);
}

void Md5::Update(const void* data, std::size_t length) {
    if (length == 0)
        return;
    const auto* input = static_cast<const std::uint8_t*>(data);
    std::size_t used = static_cast<std::size_t>((bitCount_ >> 3) & 0x3F);
    bitCount_ += static_cast<std::uint64_t>(length) << 3;

    const std::size_t room = 64 - used;
    std::size_t consumed = 0;
    if (length >= room) {
        std::memcpy(buffer_.data() + used, input, room);
        Transform(buffer_.data());
        for (consumed = room; consumed + 64 <= length; consumed += 64)
            Transform(input + consumed);
        used = 0;
    }
    std::memcpy(buffer_.data() + used, input + consumed, length - consumed);
}

Md5::Digest Md5::Final() {
    // Pad to 56 bytes mod 64 with a 1 bit and zeros, then append the
    // original length in bits, little-endian (RFC 1321 sections 3.1, 3.2).
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i)
        lengthBytes[i] = static_cast<std::uint8_t>(bitCount_ >> (8 * i));

    static constexpr std::uint8_t padding[64] = {0x80};
    const std::size_t used = static_cast<std::size_t>((bitCount_ >> 3) & 0x3F);
    const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
    Update(padding, padLength);
    Update(lengthBytes, 8);

    Digest digest{};
    for (std::size_t i = 0; i < 4; ++i)
        StoreLittleEndian(state_[i], digest.data() + 4 * i);

    // Leave nothing of the message behind.
    state_.fill(0);
    bitCount_ = 0;
    buffer_.fill(0);
    return digest;
}

std::string Md5::HexDigest(std::string_view text) {
    Init();
    Update(text);
    return ToUpperHex(Final());
}

void Md5::Transform(const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLittleEndian(block + 4 * i);

    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    // Round 1
    Step<F>(a, b, c, d, x[0], S11, 0xd76aa478u);
    Step<F>(d, a, b, c, x[1], S12, 0xe8c7b756u);
    Step<F>(c, d, a, b, x[2], S13, 0x242070dbu);
    Step<F>(b, c, d, a, x[3], S14, 0xc1bdceeeu);
    Step<F>(a, b, c, d, x[4], S11, 0xf57c0fafu);
    Step<F>(d, a, b, c, x[5], S12, 0x4787c62au);
    Step<F>(c, d, a, b, x[6], S13, 0xa8304613u);
    Step<F>(b, c, d, a, x[7], S14, 0xfd469501u);
    Step<F>(a, b, c, d, x[8], S11, 0x698098d8u);
    Step<F>(d, a, b, c, x[9], S12, 0x8b44f7afu);
    Step<F>(c, d, a, b, x[10], S13, 0xffff5bb1u);
    Step<F>(b, c, d, a, x[11], S14, 0x895cd7beu);
    Step<F>(a, b, c, d, x[12], S11, 0x6b901122u);
    Step<F>(d, a, b, c, x[13], S12, 0xfd987193u);
    Step<F>(c, d, a, b, x[14], S13, 0xa679438eu);
    Step<F>(b, c, d, a, x[15], S14, 0x49b40821u);

    // Round 2
    Step<G>(a, b, c, d, x[1], S21, 0xf61e2562u);
    Step<G>(d, a, b, c, x[6], S22, 0xc040b340u);
    Step<G>(c, d, a, b, x[11], S23, 0x265e5a51u);
    Step<G>(b, c, d, a, x[0], S24, 0xe9b6c7aau);
    Step<G>(a, b, c, d, x[5], S21, 0xd62f105du);
    Step<G>(d, a, b, c, x[10], S22, 0x02441453u);
    Step<G>(c, d, a, b, x[15], S23, 0xd8a1e681u);
    Step<G>(b, c, d, a, x[4], S24, 0xe7d3fbc8u);
    Step<G>(a, b, c, d, x[9], S21, 0x21e1cde6u);
    Step<G>(d, a, b, c, x[14], S22, 0xc33707d6u);
    Step<G>(c, d, a, b, x[3], S23, 0xf4d50d87u);
    Step<G>(b, c, d, a, x[8], S24, 0x455a14edu);
    Step<G>(a, b, c, d, x[13], S21, 0xa9e3e905u);
    Step<G>(d, a, b, c, x[2], S22, 0xfcefa3f8u);
    Step<G>(c, d, a, b, x[7], S23, 0x676f02d9u);
    Step<G>(b, c, d, a, x[12], S24, 0x8d2a4c8au);

    // Round 3
    Step<H>(a, b, c, d, x[5], S31, 0xfffa3942u);
    Step<H>(d, a, b, c, x[8], S32, 0x8771f681u);
    Step<H>(c, d, a, b, x[11], S33, 0x6d9d6122u);
    Step<H>(b, c, d, a, x[14], S34, 0xfde5380cu);
    Step<H>(a, b, c, d, x[1], S31, 0xa4beea44u);
    Step<H>(d, a, b, c, x[4], S32, 0x4bdecfa9u);
    Step<H>(c, d, a, b, x[7], S33, 0xf6bb4b60u);
    Step<H>(b, c, d, a, x[10], S34, 0xbebfbc70u);
    Step<H>(a, b, c, d, x[13], S31, 0x289b7ec6u);
    Step<H>(d, a, b, c, x[0], S32, 0xeaa127fau);
    Step<H>(c, d, a, b, x[3], S33, 0xd4ef3085u);
    Step<H>(b, c, d, a, x[6], S34, 0x04881d05u);
    Step<H>(a, b, c, d, x[9], S31, 0xd9d4d039u);
    Step<H>(d, a, b, c, x[12], S32, 0xe6db99e5u);
    Step<H>(c, d, a, b, x[15], S33, 0x1fa27cf8u);
    Step<H>(b, c, d, a, x[2], S34, 0xc4ac5665u);

    // Round 4
    Step<I>(a, b, c, d, x[0], S41, 0xf4292244u);
    Step<I>(d, a, b, c, x[7], S42, 0x432aff97u);
    Step<I>(c, d, a, b, x[14], S43, 0xab9423a7u);
    Step<I>(b, c, d, a, x[5], S44, 0xfc93a039u);
    Step<I>(a, b, c, d, x[12], S41, 0x655b59c3u);
    Step<I>(d, a, b, c, x[3], S42, 0x8f0ccc92u);
    Step<I>(c, d, a, b, x[10], S43, 0xffeff47du);
    Step<I>(b, c, d, a, x[1], S44, 0x85845dd1u);
    Step<I>(a, b, c, d, x[8], S41, 0x6fa87e4fu);
    Step<I>(d, a, b, c, x[15], S42, 0xfe2ce6e0u);
    Step<I>(c, d, a, b, x[6], S43, 0xa3014314u);
    Step<I>(b, c, d, a, x[13], S44, 0x4e0811a1u);
    Step<I>(a, b, c, d, x[4], S41, 0xf7537e82u);
    Step<I>(d, a, b, c, x[11], S42, 0xbd3af235u);
    Step<I>(c, d, a, b, x[2], S43, 0x2ad7d2bbu);
    Step<I>(b, c, d, a, x[9], S44, 0xeb86d391u);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

std::string ToUpperHex(const Md5::Digest& digest) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (std::uint8_t byte : digest) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

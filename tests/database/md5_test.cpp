#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "database/md5.h"

namespace {
std::string LowerHexDigest(const std::string& text) {
    Md5 md5;
    std::string hex = md5.HexDigest(text);
    std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
    return hex;
}
}  // namespace

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(LowerHexDigest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(LowerHexDigest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(LowerHexDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(LowerHexDigest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(LowerHexDigest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(LowerHexDigest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(LowerHexDigest("1234567890123456789012345678901234567890"
                             "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, MillionBytesInUnevenPieces) {
    const std::string piece(997, 'a');
    Md5 md5;
    md5.Init();
    std::size_t left = 1000000;
    while (left > 0) {
        const std::size_t n = std::min(left, piece.size());
        md5.Update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(ToUpperHex(md5.Final()), "7707D6AE4E027C70EEA2A935C2296F21");
}

// Every split of messages around the padding boundaries (55, 56, 63, 64 and
// 65 bytes) must give the digest of the whole.
TEST(Md5, SplitUpdatesMatchOneUpdate) {
    for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
        std::string message;
        for (std::size_t i = 0; i < length; ++i)
            message.push_back(static_cast<char>('!' + i % 90));
        Md5 whole;
        const std::string expected = whole.HexDigest(message);
        for (std::size_t split = 0; split <= length; ++split) {
            Md5 md5;
            md5.Init();
            md5.Update(message.data(), split);
            md5.Update(message.data() + split, length - split);
            EXPECT_EQ(ToUpperHex(md5.Final()), expected) << "length " << length << " split " << split;
        }
    }
}

TEST(Md5, FinalLeavesTheObjectReadyForInit) {
    Md5 md5;
    md5.Init();
    md5.Update("message digest");
    md5.Final();
    EXPECT_EQ(md5.HexDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(md5.HexDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

// Bytes above 0x7F and NUL are message bytes like any other.
TEST(Md5, HashesHighBytesAndNul) {
    Md5 md5;
    EXPECT_EQ(md5.HexDigest(std::string("\x00\xff\x80", 3)), "4FD64CB80C3F86E1E9D0F559AF8B370F");
}

#include <gtest/gtest.h>

#include <string>

#include "database/download_request.h"
#include "database/md5.h"
#include "device/dfu_device.h"

namespace {
std::string QueryFor(const std::string& serial) { return BuildDownloadQuery(serial).Text(); }
}  // namespace

TEST(DownloadQuery, SignsSerialReversedSerialAndSalt) {
    EXPECT_EQ(DownloadSignedText("1234567"), "12345677654321lkzwqe519pbnrx263mtgvch");
    EXPECT_EQ(DownloadSignedText("c"), "cclkzwqe519pbnrx263mtgvch");
    EXPECT_EQ(DownloadSignedText(""), "lkzwqe519pbnrx263mtgvch");
}

// Expected digests computed independently of this code.
TEST(DownloadQuery, QueryIsHashFirstThenSerial) {
    EXPECT_EQ(QueryFor("1234567"), "z=E8D4068713DE76FA85BD06F6AAB33CC5&s=1234567");
    EXPECT_EQ(QueryFor("A"), "z=F25AEC9E78153E5E26C6637CB54344F6&s=A");
}

TEST(DownloadQuery, EmptySerialStillMakesARequest) {
    EXPECT_EQ(QueryFor(""), "z=84D41A04DA2EC6CB658F18FE2DAB8473&s=");
}

TEST(DownloadQuery, SetsBothPiecesAndIsTheSameOnEveryCall) {
    const DownloadQuery first = BuildDownloadQuery("1234567");
    EXPECT_EQ(first.QueryHash, "z=E8D4068713DE76FA85BD06F6AAB33CC5");
    EXPECT_EQ(first.QuerySerial, "&s=1234567");
    EXPECT_EQ(BuildDownloadQuery("1234567").Text(), first.Text());

    const DownloadQuery second = BuildDownloadQuery("7654321");
    EXPECT_NE(second.Text(), first.Text());
    EXPECT_EQ(second.QuerySerial, "&s=7654321");
}

// A serial comes from the device: a byte that would change the URL's meaning
// is percent-encoded, while the signature stays over the raw serial.
TEST(DownloadQuery, SerialOutsideUnreservedCharactersIsPercentEncoded) {
    EXPECT_EQ(EncodeQueryValue("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(EncodeQueryValue("a&z=1"), "a%26z%3D1");
    EXPECT_EQ(EncodeQueryValue("a b#/?+%"), "a%20b%23%2F%3F%2B%25");
    EXPECT_EQ(EncodeQueryValue(std::string("\x00\x0a\xff", 3)), "%00%0A%FF");

    const std::string raw = "12&s=9 x";
    EXPECT_EQ(QueryFor(raw), "z=" + DownloadSignature(raw) + "&s=12%26s%3D9%20x");
}

TEST(DownloadQuery, UrlIsPlainConcatenation) {
    EXPECT_EQ(DownloadUrl("127.0.0.1:8080", "z=AB&s=1"), "http://127.0.0.1:8080/OrvoDownload.aspx?z=AB&s=1");
    EXPECT_FALSE(DefaultServerHost().empty());
}

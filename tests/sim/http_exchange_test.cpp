#include <gtest/gtest.h>

#include <string>

#include "http_exchange.h"

TEST(HttpExchange, ParsesARequestsHeadAndDecodesItsQuery) {
    const auto request =
        ParseRequestHead("GET /Orvo%20Download.aspx?z=AB&s=a%26b+c&flag&&s=2 HTTP/1.1\r\nHost: x\r\nAccept: */*");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "GET");
    EXPECT_EQ(request->target, "/Orvo%20Download.aspx?z=AB&s=a%26b+c&flag&&s=2");
    EXPECT_EQ(request->path, "/Orvo Download.aspx");
    ASSERT_EQ(request->query.size(), 4u);  // the empty piece between && is no key
    EXPECT_EQ(request->Value("s"), "a&b c");
    EXPECT_EQ(request->Count("s"), 2u);
    EXPECT_EQ(request->Count("flag"), 1u);
    EXPECT_EQ(request->Value("flag"), "");
    EXPECT_EQ(request->Value("missing"), "");
}

TEST(HttpExchange, RefusesMalformedRequestLines) {
    for (const char* head : {"", "GET", "GET /", "GET / HTTP/2.0", "GET  HTTP/1.1", "GET x HTTP/1.1",
                             " / HTTP/1.1", "GET /a b HTTP/1.1", "GET / FTP/1.1x"})
        EXPECT_FALSE(ParseRequestHead(head)) << '"' << head << '"';
    EXPECT_TRUE(ParseRequestHead("POST / HTTP/1.0"));
}

TEST(HttpExchange, MalformedEscapesStayAsTheyAre) {
    EXPECT_EQ(PercentDecode("%41%4a%zz%4", false), "AJ%zz%4");
    EXPECT_EQ(PercentDecode("%", true), "%");
    EXPECT_EQ(PercentDecode("a+b%2B", true), "a b+");
    EXPECT_EQ(PercentDecode("a+b", false), "a+b");
    EXPECT_EQ(PercentDecode("%00", false), std::string(1, '\0'));
}

TEST(HttpExchange, FramesAnswersByLengthChunksOrTheConnectionsEnd) {
    EXPECT_EQ(ResponseHead(200, "text/plain", HttpFraming::Length, 42),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 42\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ResponseHead(503, "text/html", HttpFraming::Chunked),
              "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n"
              "Connection: close\r\n\r\n");
    const std::string untilClose = ResponseHead(418, "text/plain", HttpFraming::UntilClose);
    EXPECT_EQ(untilClose.find("Content-Length"), std::string::npos);
    EXPECT_EQ(untilClose.find("Transfer-Encoding"), std::string::npos);
    EXPECT_EQ(untilClose.rfind("HTTP/1.1 418 ", 0), 0u);

    EXPECT_EQ(Chunk(std::string(26, 'x')), "1a\r\n" + std::string(26, 'x') + "\r\n");
    EXPECT_EQ(Chunk(""), "") << "an empty chunk would end the body";
}

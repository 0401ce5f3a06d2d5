#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The HTTP/1.1 text the simulated server reads and writes, apart from any
// socket: a request's head parsed, an answer's head and chunks framed.

struct HttpRequest {
    std::string method;
    std::string target;  // path and query as received
    std::string path;    // the path, decoded
    // The query's keys and values, decoded, in their order.
    std::vector<std::pair<std::string, std::string>> query;

    std::size_t Count(const std::string& key) const;
    // The first value of `key`; empty when there is none.
    std::string Value(const std::string& key) const;
};

// The head of a request: its request line and header lines, without the
// blank line that ends it. Nothing for anything but "METHOD TARGET HTTP/1.x"
// with a target that starts with '/'.
std::optional<HttpRequest> ParseRequestHead(std::string_view head);

// %XX decoded (a malformed escape stays as it is); '+' as a space when
// `plusIsSpace`, as a query has it.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

// How an answer's body is delimited.
enum class HttpFraming {
    Length,      // Content-Length
    Chunked,     // Transfer-Encoding: chunked
    UntilClose,  // neither: the end of the connection ends the body
};

// The status line and headers, blank line included. Every answer closes the
// connection after it.
std::string ResponseHead(int status, const std::string& contentType, HttpFraming framing, std::size_t length = 0);
// One chunk of a chunked body; an empty piece gives nothing (it would end
// the body).
std::string Chunk(std::string_view piece);
inline constexpr std::string_view LastChunk = "0\r\n\r\n";
const char* ReasonPhrase(int status);

#include "http_exchange.h"

#include <cstdio>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        const auto end = query.find('&');
        const std::string_view piece = query.substr(0, end);
        if (!piece.empty()) {
            const auto equals = piece.find('=');
            pairs.emplace_back(PercentDecode(piece.substr(0, equals), true),
                               equals == std::string_view::npos ? std::string()
                                                                : PercentDecode(piece.substr(equals + 1), true));
        }
        if (end == std::string_view::npos)
            break;
        query.remove_prefix(end + 1);
    }
    return pairs;
}

}  // namespace

std::size_t HttpRequest::Count(const std::string& key) const {
    std::size_t count = 0;
    for (const auto& entry : query)
        count += entry.first == key ? 1 : 0;
    return count;
}

std::string HttpRequest::Value(const std::string& key) const {
    for (const auto& entry : query)
        if (entry.first == key)
            return entry.second;
    return {};
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(plusIsSpace && c == '+' ? ' ' : c);
        }
    }
    return decoded;
}

std::optional<HttpRequest> ParseRequestHead(std::string_view head) {
    const std::string_view line = head.substr(0, head.find("\r\n"));
    const auto firstSpace = line.find(' ');
    const auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == 0 || lastSpace == firstSpace)
        return std::nullopt;
    const std::string_view version = line.substr(lastSpace + 1);
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    if (version.substr(0, 7) != "HTTP/1." || version.size() != 8 || target.empty() || target.front() != '/' ||
        target.find(' ') != std::string_view::npos)
        return std::nullopt;
    HttpRequest request;
    request.method = std::string(line.substr(0, firstSpace));
    request.target = std::string(target);
    const auto question = target.find('?');
    request.path = PercentDecode(target.substr(0, question), false);
    if (question != std::string_view::npos)
        request.query = ParseQuery(target.substr(question + 1));
    return request;
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return status < 500 ? "Client Error" : "Server Error";
    }
}

std::string ResponseHead(int status, const std::string& contentType, HttpFraming framing, std::size_t length) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    if (framing == HttpFraming::Length)
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    else if (framing == HttpFraming::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

std::string Chunk(std::string_view piece) {
    if (piece.empty())
        return {};
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    std::string chunk = size;
    chunk.append(piece);
    chunk += "\r\n";
    return chunk;
}

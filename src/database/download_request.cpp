#include "database/download_request.h"

#include <cstring>

#include "database/md5.h"
#include "common/working_files.h"

#ifndef ORVO_SERVER_HOST
#define ORVO_SERVER_HOST "update-server.orvo.invalid"
#endif

std::string DefaultServerHost() { return ORVO_SERVER_HOST; }

std::string DownloadSignedText(const std::string& serial) {
    return serial + std::string(serial.rbegin(), serial.rend()) + DownloadRequest::Salt;
}

std::string DownloadSignature(const std::string& serial) {
    Md5 md5;  // a fresh digest object for every request
    return md5.HexDigest(DownloadSignedText(serial));
}

namespace {
bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}
}  // namespace

std::string EncodeQueryValue(const std::string& value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(value.size());
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            encoded.push_back(ch);
        } else {
            encoded.push_back('%');
            encoded.push_back(digits[c >> 4]);
            encoded.push_back(digits[c & 0x0F]);
        }
    }
    return encoded;
}

std::string DownloadUrl(const std::string& host, const std::string& query) {
    return "http://" + host + DownloadRequest::Path + "?" + query;
}

DownloadQuery BuildDownloadQuery(const std::string& serial) {
    return {DownloadRequest::HashKey + DownloadSignature(serial), DownloadRequest::SerialKey + EncodeQueryValue(serial)};
}

namespace {

// A redirect may carry the request's query on: its signature is left out.
std::string WithoutSignature(std::string address, const std::string& signature) {
    if (signature.empty())
        return address;
    for (std::size_t at = address.find(signature); at != std::string::npos; at = address.find(signature, at))
        address.replace(at, signature.size(), "(signature)");
    return address;
}

}  // namespace

DownloadResult DownloadDatabaseWith(const DatabaseRequest& request, const HttpDownload& client,
                                    CycleEventChannel& events) {
    const std::string localFile = request.folder + WorkingFile::DatabaseBase + WorkingFile::TextExt;
    const DownloadQuery query = BuildDownloadQuery(request.serial);
    const std::string url = DownloadUrl(request.serverHost, query.Text());
    DownloadResult result = client.Fetch(url, localFile);
    // The signature is left out: whoever keeps the request (a log, the
    // history) needs the serial and the server, not the key to ask again.
    CycleEvents::DownloadAnswered answered{DownloadUrl(request.serverHost, query.QuerySerial.substr(1)),
                                           result.httpStatus, result.bytes};
    const std::string signature = query.QueryHash.substr(std::strlen(DownloadRequest::HashKey));
    if (!result.lastUrl.empty() && result.lastUrl != url)
        answered.redirectedTo = WithoutSignature(result.lastUrl, signature);
    events.Publish(answered);
    return result;
}

#pragma once

#include <string>

#include "common/cycle_events.h"
#include "database/http_download.h"

namespace DownloadRequest {
// Enters the signature only; never sent.
inline constexpr const char* Salt = "lkzwqe519pbnrx263mtgvch";
inline constexpr const char* Path = "/OrvoDownload.aspx";
inline constexpr const char* HashKey = "z=";
inline constexpr const char* SerialKey = "&s=";
}  // namespace DownloadRequest

// The text that is signed: the serial, the serial reversed, then the salt.
std::string DownloadSignedText(const std::string& serial);

// The 32 upper-case hexadecimal digits of the MD5 digest of the signed text;
// what the server checks `z` against.
std::string DownloadSignature(const std::string& serial);

// `value` for the query: URL-unreserved bytes (letters, digits, - . _ ~) as
// they are, every other byte as %XX, so that a serial read from a device can
// never add a key or end the query.
std::string EncodeQueryValue(const std::string& value);

// "http://" + host + "/OrvoDownload.aspx?" + query, nothing in between.
std::string DownloadUrl(const std::string& host, const std::string& query);

// The two parts of the download request's query.
struct DownloadQuery {
    std::string QueryHash;    // "z=" and the signature
    std::string QuerySerial;  // "&s=" and the serial, encoded
    std::string Text() const { return QueryHash + QuerySerial; }
};
DownloadQuery BuildDownloadQuery(const std::string& serial);

// The update server the build was made for ("host" or "host:port"), where
// the updater downloads unless a test, tool or the demo points it elsewhere.
std::string DefaultServerHost();

// What one download of a device's database is for and where it lands.
struct DatabaseRequest {
    std::string serverHost;  // "host" or "host:port"
    std::string serial;      // the device's serial
    std::string folder;      // "tesselDB.txt" goes here (the working files' folder)
};

// The download of `request` with the limits of `client`: the query, the URL,
// and the transfer into its folder's "tesselDB.txt". What the server
// answered goes out on `events` (DownloadAnswered, without the signature).
DownloadResult DownloadDatabaseWith(const DatabaseRequest& request, const HttpDownload& client,
                                    CycleEventChannel& events);

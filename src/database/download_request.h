#pragma once

#include <string>

#include "database/http_download.h"

class CDfuDevice;

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

// What DownloadDatabase does, with the limits of `client` instead of the
// defaults: the query, the URL, and the transfer into ProgramFolder +
// "tesselDB.txt".
DownloadResult DownloadDatabaseWith(CDfuDevice& device, const HttpDownload& client);

// The program's download: the default limits, ended early by
// device.ShuttingDown. CDfuDevice::DownloadDatabase is this without the
// result's details.
DownloadResult DownloadDatabaseWithDefaults(CDfuDevice& device);

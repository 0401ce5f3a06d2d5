#include "update/download_failure_text.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

// Texts carry "%1" where the value goes; a translation may move it.
std::string WithValue(int stringId, const std::string& value) {
    std::string text = LoadResourceString(stringId);
    const auto at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

}  // namespace

std::string DownloadFailureLine(const DownloadResult& download) {
    using namespace ResourceId;
    switch (download.outcome) {
    case DownloadOutcome::Stored: return {};
    case DownloadOutcome::HttpError:
        return WithValue(DownloadCauseHttpStatus, std::to_string(download.httpStatus));
    case DownloadOutcome::FileError: return WithValue(DownloadCauseFolder, download.folder);
    case DownloadOutcome::NotConnected: return WithValue(DownloadCauseNoConnection, download.host);
    case DownloadOutcome::Stalled:
    case DownloadOutcome::TimedOut: return LoadResourceString(DownloadCauseTimedOut);
    case DownloadOutcome::Truncated: return LoadResourceString(DownloadCauseTruncated);
    case DownloadOutcome::TooLarge: return LoadResourceString(DownloadCauseTooLarge);
    case DownloadOutcome::TransferFailed: return LoadResourceString(DownloadCauseTransferFailed);
    }
    return LoadResourceString(DownloadCauseTransferFailed);
}

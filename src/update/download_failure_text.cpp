#include "update/download_failure_text.h"

#include <cerrno>

#include "common/file_io.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace {

// Texts carry "%1" where the value goes; a translation may move it.
std::string WithValue(const Resources& resources, int stringId, const std::string& value) {
    std::string text = resources.String(stringId);
    const auto at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

// A full disk or a folder that may not be written is named as such; the
// general "could not write" covers the rest.
int FileCause(int error) {
    if (IsDiskFullError(error))
        return ResourceId::DownloadCauseDiskFull;
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return ResourceId::DownloadCauseNotWritable;
    default: return ResourceId::DownloadCauseFolder;
    }
}

}  // namespace

DownloadCause DownloadFailureCause(const DownloadResult& download) {
    using namespace ResourceId;
    switch (download.outcome) {
    case DownloadOutcome::Stored: return {};
    case DownloadOutcome::HttpError: return {DownloadCauseHttpStatus, {std::to_string(download.httpStatus)}};
    case DownloadOutcome::FileError: return {FileCause(download.fileError), {download.folder}};
    case DownloadOutcome::NotConnected: return {DownloadCauseNoServerText, {}};
    case DownloadOutcome::Stalled:
    case DownloadOutcome::TimedOut: return {DownloadCauseTimedOut, {}};
    case DownloadOutcome::Truncated: return {DownloadCauseTruncated, {}};
    case DownloadOutcome::Unframed: return {DownloadCauseNoLength, {}};
    case DownloadOutcome::TooLarge: return {DownloadCauseTooLarge, {}};
    case DownloadOutcome::TransferFailed: break;
    }
    return {DownloadCauseTransferFailed, {}};
}

std::string DownloadFailureLine(const Resources& resources, const DownloadResult& download) {
    using namespace ResourceId;
    switch (download.outcome) {
    case DownloadOutcome::Stored: return {};
    case DownloadOutcome::HttpError:
        return WithValue(resources, DownloadCauseHttpStatus, std::to_string(download.httpStatus));
    case DownloadOutcome::FileError: return WithValue(resources, FileCause(download.fileError), download.folder);
    case DownloadOutcome::NotConnected: return WithValue(resources, DownloadCauseNoConnection, download.host);
    case DownloadOutcome::Stalled:
    case DownloadOutcome::TimedOut: return resources.String(DownloadCauseTimedOut);
    case DownloadOutcome::Truncated: return resources.String(DownloadCauseTruncated);
    case DownloadOutcome::Unframed: return resources.String(DownloadCauseNoLength);
    case DownloadOutcome::TooLarge: return resources.String(DownloadCauseTooLarge);
    case DownloadOutcome::TransferFailed: return resources.String(DownloadCauseTransferFailed);
    }
    return resources.String(DownloadCauseTransferFailed);
}

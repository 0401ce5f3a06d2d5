#include "database/http_download.h"

#include "common/file_io.h"

// The transport of a platform that has no HTTP client yet: every download
// fails plainly, and an earlier file at the destination is still removed so
// that it can never pass for an answer.
DownloadResult HttpDownload::FetchInto(const std::string&, const std::string& destination) const {
    DownloadResult result;
    if (const int error = RemoveRegularFile(destination); error != 0) {
        result.outcome = DownloadOutcome::FileError;
        result.fileError = error;
        result.detail = WriteErrorText(destination, error);
        return result;
    }
    result.outcome = DownloadOutcome::TransferFailed;
    result.detail = "downloads are not available in this build";
    return result;
}

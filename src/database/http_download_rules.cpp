#include "database/http_download.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/file_io.h"
#include "common/utf8_path.h"
#include "database/http_transfer.h"

// The rules every transport shares: names of the outcomes, where the body
// waits, and the time limits of a transfer.

std::string HttpHostOf(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    std::string authority = url.substr(begin, url.find_first_of("/?#", begin) - begin);
    const auto user = authority.rfind('@');
    return user == std::string::npos ? authority : authority.substr(user + 1);
}

const char* DownloadOutcomeName(DownloadOutcome outcome) {
    switch (outcome) {
    case DownloadOutcome::Stored: return "stored";
    case DownloadOutcome::NotConnected: return "not connected";
    case DownloadOutcome::HttpError: return "HTTP error";
    case DownloadOutcome::Stalled: return "stalled";
    case DownloadOutcome::TimedOut: return "timed out";
    case DownloadOutcome::TooLarge: return "too large";
    case DownloadOutcome::Truncated: return "truncated";
    case DownloadOutcome::Unframed: return "no length";
    case DownloadOutcome::TransferFailed: return "transfer failed";
    case DownloadOutcome::FileError: return "file error";
    }
    return "unknown";
}

std::string HttpDownload::TemporaryPathFor(const std::string& destination) { return destination + ".part"; }

DownloadResult HttpDownload::Fetch(const std::string& url, const std::string& destination) const {
    DownloadResult result = FetchInto(url, destination);
    if (result.host.empty())
        result.host = HttpHostOf(url);
    result.folder = Utf8FromPath(PathFromUtf8(destination).parent_path());
    return result;
}

TransferPace::TransferPace(long minimumBytesPerSecond, std::chrono::milliseconds window,
                           std::chrono::milliseconds totalLimit)
    : minimumBytesPerSecond_(minimumBytesPerSecond), window_(window), totalLimit_(totalLimit) {}

TransferPace::Verdict TransferPace::Judge(std::chrono::milliseconds sinceStart, bool connected,
                                          std::uint64_t received) {
    if (sinceStart >= totalLimit_)
        return Verdict::TooLong;
    if (!connected || minimumBytesPerSecond_ <= 0 || window_.count() <= 0)
        return Verdict::Going;
    if (!samples_.empty() && received < samples_.back().bytes)
        samples_.clear();  // a redirect: curl counts the new answer from 0
    if (samples_.empty() || sinceStart - samples_.back().time >= window_ / 16)
        samples_.push_back({sinceStart, received});
    while (samples_.size() >= 2 && samples_[1].time <= sinceStart - window_)
        samples_.erase(samples_.begin());
    const Sample& oldest = samples_.front();
    const auto span = sinceStart - oldest.time;
    if (span < window_)
        return Verdict::Going;  // not watched for a whole window yet
    const std::uint64_t arrived = received - oldest.bytes;
    const bool tooSlow = arrived * 1000u < static_cast<std::uint64_t>(minimumBytesPerSecond_) *
                                               static_cast<std::uint64_t>(span.count());
    return tooSlow ? Verdict::TooSlow : Verdict::Going;
}

AnswerBody::Append AnswerBody::Add(const void* data, std::size_t size) {
    if (size > cap_ - written_) {
        overCap_ = true;
        return Append::OverCap;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
        writeError_ = LastSystemError();
        return Append::WriteFailed;
    }
    written_ += size;
    return Append::Ok;
}

DownloadResult DownloadFailure(DownloadOutcome outcome, std::string detail) {
    DownloadResult result;
    result.outcome = outcome;
    result.detail = std::move(detail);
    return result;
}

DownloadResult DownloadFileFailure(int error, const std::string& path) {
    DownloadResult result = DownloadFailure(DownloadOutcome::FileError, WriteErrorText(path, error));
    result.fileError = error;
    return result;
}

DownloadResult PaceFailure(TransferPace::Verdict verdict, const HttpDownload& limits) {
    if (verdict == TransferPace::Verdict::TooLong)
        return DownloadFailure(DownloadOutcome::TimedOut,
                               "not finished within " + std::to_string(limits.totalTimeout.count()) + " ms");
    return DownloadFailure(DownloadOutcome::Stalled, "fewer than " + std::to_string(limits.lowSpeedBytesPerSecond) +
                                                         " bytes/s over " +
                                                         std::to_string(limits.lowSpeedTime.count()) + " ms");
}

DownloadResult BodyFailure(const AnswerBody& body) {
    DownloadResult result;
    result.bytes = body.written();
    if (body.writeFailed()) {
        result.outcome = DownloadOutcome::FileError;
        result.fileError = body.writeError();
        result.detail = std::strerror(body.writeError());
    } else if (body.overCap()) {
        result.outcome = DownloadOutcome::TooLarge;
        result.detail = "answer larger than the size cap";
    } else {
        result.outcome = DownloadOutcome::TransferFailed;
    }
    return result;
}

bool AnnouncedOverCap(std::uint64_t length, const HttpDownload& limits) { return length > limits.maxBytes; }

DownloadResult JudgeFinishedAnswer(const FinishedAnswer& answer) {
    DownloadResult result;
    result.httpStatus = answer.status;
    result.bytes = answer.received;
    if (answer.status < 200 || answer.status > 299) {
        result.outcome = DownloadOutcome::HttpError;
        result.detail = "HTTP status " + std::to_string(answer.status);
        return result;
    }
    if (answer.announcedLength && *answer.announcedLength != answer.received) {
        result.outcome = DownloadOutcome::Truncated;
        result.detail = "received " + std::to_string(answer.received) + " of " +
                        std::to_string(*answer.announcedLength) + " bytes";
        return result;
    }
    if (!answer.announcedLength && !answer.chunked) {
        result.outcome = DownloadOutcome::Unframed;
        result.detail = "received " + std::to_string(answer.received) +
                        " bytes with neither a length nor chunked framing; the answer may have been cut off";
        return result;
    }
    result.outcome = DownloadOutcome::Stored;
    result.detail = "stored " + std::to_string(answer.received) + " bytes";
    return result;
}

OwnedFile PrepareDestination(const std::string& destination, DownloadResult& failure) {
    // An earlier file can never pass for this answer; a link or anything but
    // a regular file in its place is left alone and refused.
    if (const int error = RemoveRegularFile(destination); error != 0) {
        failure = DownloadFileFailure(error, destination);
        return nullptr;
    }
    const std::string temporary = HttpDownload::TemporaryPathFor(destination);
    int error = 0;
    OwnedFile file(CreateFreshFile(temporary, error));
    if (!file)
        failure = DownloadFileFailure(error, temporary);
    return file;
}

DownloadResult PlaceWhenWhole(DownloadResult result, OwnedFile file, const std::string& destination) {
    const std::string temporary = HttpDownload::TemporaryPathFor(destination);
    errno = 0;
    if (std::fclose(file.release()) != 0 && result.Stored())
        result = DownloadFileFailure(LastSystemError(), temporary);
    if (result.Stored()) {
        if (const int error = ReplaceFileEntry(temporary, destination); error == 0)
            return result;
        else
            result = DownloadFileFailure(error, destination);
    }
    RemoveRegularFile(temporary);
    return result;
}

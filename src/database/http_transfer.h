#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "database/http_download.h"

// What every transport behind HttpDownload shares, so that each keeps the
// same rules: where the body waits while it arrives, when a finished answer
// counts as whole, and how it is put in place.

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// The body as it arrives, in the temporary file and within the size cap.
class AnswerBody {
public:
    enum class Append { Ok, OverCap, WriteFailed };

    AnswerBody(std::FILE* file, std::uint64_t cap) : file_(file), cap_(cap) {}

    // Refuses the whole piece when it would pass the cap: nothing over the cap
    // ever reaches the file.
    Append Add(const void* data, std::size_t size);

    std::uint64_t written() const { return written_; }
    bool overCap() const { return overCap_; }
    bool writeFailed() const { return writeError_ != 0; }
    int writeError() const { return writeError_; }

private:
    std::FILE* file_;
    std::uint64_t cap_;
    std::uint64_t written_ = 0;
    bool overCap_ = false;
    int writeError_ = 0;
};

// What a transport saw of an answer that ended without a transport error.
struct FinishedAnswer {
    long status = 0;
    std::optional<std::uint64_t> announcedLength;  // Content-Length, when sent
    bool chunked = false;                          // chunked framing, ended properly
    std::uint64_t received = 0;
};

// Stored only for a 2xx answer whose end could be told: the announced length
// arrived, or the chunked framing ended properly. An answer that just ends
// when the connection closes is refused, since a cut-off one looks the same.
DownloadResult JudgeFinishedAnswer(const FinishedAnswer& answer);

DownloadResult DownloadFailure(DownloadOutcome outcome, std::string detail);
DownloadResult DownloadFileFailure(int error, const std::string& path);
// The failure for a transfer its pace ended (TooSlow or TooLong).
DownloadResult PaceFailure(TransferPace::Verdict verdict, const HttpDownload& limits);
// The failure for a body that passed the cap, or could not be written.
DownloadResult BodyFailure(const AnswerBody& body);
// Whether a piece of the answer announced `length` bytes or more than the cap.
bool AnnouncedOverCap(std::uint64_t length, const HttpDownload& limits);

// Removes whatever an earlier run left at `destination` (only a regular
// file; anything else is refused) and creates the temporary file afresh.
// Null with `failure` set when either step fails.
OwnedFile PrepareDestination(const std::string& destination, DownloadResult& failure);

// Closes the temporary file and, when `result` says Stored, puts it in place
// of the destination; otherwise, or when that fails, removes it. The result
// after all of this.
DownloadResult PlaceWhenWhole(DownloadResult result, OwnedFile file, const std::string& destination);

#pragma once

#include <cstdint>
#include <string>

#include "database/http_download.h"

// How the Windows transport's error codes map onto the outcomes every
// transport reports. Kept apart from the Windows calls so that the table is
// checked on every platform.

// How far a transfer had come when the error arrived: the same code means
// different things before and after the server began to answer.
enum class WinHttpPhase {
    Connecting,      // resolving, connecting, sending the request
    AwaitingAnswer,  // the request went out; no status line yet
    ReadingBody,     // the headers arrived; the body is coming
};

DownloadOutcome OutcomeOfWinHttpError(std::uint32_t error, WinHttpPhase phase);

// "WinHTTP error 12029 (cannot connect)": for the result's detail.
std::string WinHttpErrorText(std::uint32_t error);

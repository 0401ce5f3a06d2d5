#pragma once

// What this platform's HTTP client is known not to do in the test run: null
// when it does, else why the check cannot pass here
// (test_platform_{posix,windows}.cpp).

// Names the URL a redirect led to as the one that answered.
const char* HttpClientMissesRedirectedUrl();

// Tells a chunked answer cut off midway from a whole one.
const char* HttpClientMissesCutChunkedAnswer();

// Skips the rest of the test, saying why, where the client lacks it.
#define ORVO_SKIP_WHERE_HTTP_CLIENT(gap) \
    if (const char* orvoGap = HttpClientMisses##gap()) \
    GTEST_SKIP() << orvoGap

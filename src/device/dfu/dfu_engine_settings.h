#pragma once

// Limits of a protocol engine, fixed when it is built; tests shorten them to
// keep fault cases fast.
struct DfuEngineSettings {
    unsigned controlTimeoutMs = 5000;  // any single control transfer
    unsigned timeoutRetries = 3;       // further attempts after a transfer timed out
    unsigned maxPollWaitMs = 10000;    // cap on one wait for bwPollTimeout (a 24-bit value)
    unsigned maxBusyPolls = 100000;    // GETSTATUS answers saying "busy" for one request
    // How long one request (from its DNLOAD to the device's last status) may
    // keep the device busy in all, slow answers and re-sends included. The
    // longest real work, a mass erase, takes 25 s.
    unsigned busyLimitMs = 60000;
    unsigned stringTimeoutMs = 1000;   // interface strings read for the memory map
};

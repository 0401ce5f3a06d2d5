#pragma once

#include <cstdint>
#include <string>

#include "common/cycle_events.h"

// What a cycle writes when it is not the update server's database: a
// database text from the user's disk, or a database the history kept before
// it was replaced.
struct CycleRequest {
    CycleSource source = CycleSource::Server;
    // CycleSource::File: a database text in the server's answer format; read,
    // never moved or deleted.
    std::string file;
    // CycleSource::Restore: the kept backup (HistoryStore's id) to write back
    // with its own date stamp, only into the Orvo whose serial it came from.
    std::int64_t backupId = 0;
};

// What RequestCycle did with a request.
enum class CycleRequestAnswer : std::uint8_t {
    Refused,       // a cycle is under way: ask again once it has ended
    StartsNow,     // the attached Orvo's cycle begins at once
    AtConnection,  // no Orvo is attached: the next one connected gets it
};

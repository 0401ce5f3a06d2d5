#include "update_server.h"

#include <string>

// The faults the simulated server can be told to make, by name.

namespace {

struct FaultEntry {
    const char* name;  // what --fault takes
    ServerFault fault;
    const char* summary;  // what ServerFaultName says
    const char* help;
};

// Every fault the server can play, in the order the help lists them.
constexpr FaultEntry kFaults[] = {
    {"none", ServerFault::None, "none", "answers the database (the default)"},
    {"status=CODE", ServerFault::ErrorStatus, "error status", "answers HTTP status CODE (400-599) with an HTML page"},
    {"stall", ServerFault::Stall, "stall", "sends part of the database, then nothing"},
    {"truncate", ServerFault::Truncated, "truncated body", "announces the whole length, sends part of it and closes"},
    {"no-length", ServerFault::NoLength, "no length",
     "sends part of the database with neither a length nor chunking and closes"},
    {"oversize", ServerFault::Oversized, "oversized body", "streams far more than any database"},
    {"html", ServerFault::HtmlPage, "HTML page", "answers 200 with an HTML page"},
    {"trickle", ServerFault::Trickle, "trickle", "sends the whole database, 64 bytes every 100 ms"},
    {"junk", ServerFault::Junk, "junk", "answers 200 with random bytes"},
};

bool ParseErrorStatus(const std::string& code, UpdateServerOptions& options) {
    if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int status = std::stoi(code);
    if (status < 400 || status > 599)
        return false;
    options.fault = ServerFault::ErrorStatus;
    options.errorStatus = status;
    return true;
}

}  // namespace

bool ParseServerFault(const std::string& text, UpdateServerOptions& options) {
    if (text.rfind("status=", 0) == 0)
        return ParseErrorStatus(text.substr(7), options);
    for (const FaultEntry& entry : kFaults) {
        if (entry.fault != ServerFault::ErrorStatus && text == entry.name) {
            options.fault = entry.fault;
            return true;
        }
    }
    return false;
}

const char* ServerFaultName(ServerFault fault) {
    for (const FaultEntry& entry : kFaults)
        if (entry.fault == fault)
            return entry.summary;
    return "unknown";
}

std::string ServerFaultHelp(int indent) {
    std::string help;
    for (const FaultEntry& entry : kFaults) {
        std::string name = entry.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 13), ' ');
        help += std::string(static_cast<std::size_t>(indent), ' ') + name + entry.help + "\n";
    }
    return help;
}

std::string ServerFaultNames() {
    std::string names;
    for (const FaultEntry& entry : kFaults)
        names += (names.empty() ? "" : "|") + std::string(entry.name);
    return names;
}

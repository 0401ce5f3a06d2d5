#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "tool_support/command_registry.h"
#include "tool_support/printable_text.h"
#include "update_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

bool ParseNumber(const std::string& text, unsigned long long maximum, unsigned long long& value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return value <= maximum;
}

int Usage(const std::string& problem) { return UsageError(problem); }

int RunServer(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string port = "0", records = "1000", fault = "none", seconds = "0";
    TakeOption(args, "--port", port);
    TakeOption(args, "--records", records);
    TakeOption(args, "--fault", fault);
    TakeOption(args, "--seconds", seconds);
    if (!args.empty())
        return RejectLeftovers(args);

    unsigned long long portNumber = 0, recordCount = 0, runSeconds = 0;
    if (!ParseNumber(port, 65535, portNumber))
        return Usage("--port needs a number from 0 (any free port) to 65535");
    if (!ParseNumber(records, 10'000'000, recordCount))
        return Usage("--records needs a whole number up to 10000000");
    if (!ParseNumber(seconds, 86400, runSeconds))
        return Usage("--seconds needs a whole number up to 86400 (0 = until interrupted)");
    UpdateServerOptions options;
    options.records = static_cast<std::size_t>(recordCount);
    if (!ParseServerFault(fault, options))
        return Usage("unknown --fault " + fault);

    // Line by line, so a script reading our output sees the port at once
    // (each line is flushed too: Windows' C library buffers "line by line"
    // output fully).
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SimUpdateServer server(options);
    // A request may carry anything; the terminal shows it escaped.
    server.SetRequestObserver([](const ServedRequest& request) {
        std::printf("GET %s -> %d, %zu bytes (%s)\n", PrintableText(request.target).c_str(), request.status,
                    request.bytes, PrintableText(request.note).c_str());
        std::fflush(stdout);
    });
    if (!server.Start(static_cast<int>(portNumber))) {
        std::fprintf(stderr, "%scannot listen on 127.0.0.1:%llu\n", CommandPrefix().c_str(), portNumber);
        return ExitFailure;
    }
    std::printf("listening on %s (%zu records, fault: %s)\n", server.HostAndPort().c_str(), options.records,
                ServerFaultName(options.fault));
    std::fflush(stdout);

    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(runSeconds);
    while (!stopRequested && (runSeconds == 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    std::printf("stopped after %zu requests\n", server.RequestCount());
    return ExitSuccess;
}

const CommandRegistration registration{
    "server", "[--port N] [--records N] [--fault " + ServerFaultNames() + "] [--seconds N]",
    "run the simulated update server on 127.0.0.1 (port 0: any free port) and print each request", &RunServer,
    "  --port N               the port (default 0: any free port; the first line names it)\n"
    "  --records N            records in each answered database (default 1000, at most 10000000)\n"
    "  --fault FAULT          how the server misbehaves, one of:\n" +
        ServerFaultHelp(25) +
        "  --seconds N            stop after N seconds (default 0: run until interrupted)",
    "orvo-sim server --port 0 --records 20000 --seconds 60"};

}  // namespace

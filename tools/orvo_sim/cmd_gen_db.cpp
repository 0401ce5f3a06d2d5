#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>

#include "common/file_io.h"
#include "tool_support/command_registry.h"
#include "database_generator.h"

namespace {

bool ParseCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

int Usage(const std::string& problem) { return UsageError(problem); }

int RunGenDb(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::string records = "1000", order = "random", seed = "1", output;
    TakeOption(args, "--records", records);
    TakeOption(args, "--order", order);
    TakeOption(args, "--seed", seed);
    TakeOption(args, "-o", output);
    DatabaseGeneratorOptions options;
    options.lineBreaks = TakeFlag(args, "--crlf");
    if (!args.empty())
        return RejectLeftovers(args);
    std::uint64_t count = 0;
    if (!ParseCount(records, count) || count > 100'000'000)
        return Usage("--records needs a whole number up to 100000000");
    if (!ParseCount(seed, options.seed))
        return Usage("--seed needs a whole number");
    if (!ParseRecordOrder(order, options.order))
        return Usage("--order must be random, ascending, descending or equal");
    if (output.empty())
        return Usage("-o FILE is required");
    options.records = static_cast<std::size_t>(count);

    const std::string text = GenerateDatabaseText(options);
    if (const int written = WriteWholeFile(output, text.data(), text.size()); written != 0) {
        std::fprintf(stderr, "%scannot write %s\n", CommandPrefix().c_str(), WriteErrorText(output, written).c_str());
        return ExitFailure;
    }
    std::printf("%llu records, %zu bytes written to %s\n", static_cast<unsigned long long>(count), text.size(),
                output.c_str());
    return ExitSuccess;
}

const CommandRegistration registration{
    "gen-db", "[--records N] [--order random|ascending|descending|equal] [--seed S] [--crlf] -o FILE",
    "generate a realistic database text", &RunGenDb,
    "  --records N            how many records (default 1000, at most 100000000)\n"
    "  --order ORDER          random (default), ascending, descending or equal keys\n"
    "  --seed S               the random seed (default 1): the same seed gives the same text\n"
    "  --crlf                 a CR LF after each record's NUL, as some servers send\n"
    "  -o FILE                the text file to write",
    "orvo-sim gen-db --records 20000 --order random --seed 7 -o work/tesselDB.txt"};

}  // namespace

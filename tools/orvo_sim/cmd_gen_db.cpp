#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/command_registry.h"
#include "database_generator.h"

namespace {

bool ParseCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "gen-db: %s\nusage: orvo-sim gen-db --records N [--order random|ascending|descending|equal] "
                         "[--seed S] [--crlf] -o FILE\n", problem);
    return 2;
}

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
        return Usage(("unexpected argument " + args.front()).c_str());
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
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
        std::perror(output.c_str());
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "gen-db: cannot write %s\n", output.c_str());
        std::remove(output.c_str());
        return 1;
    }
    std::printf("%llu records, %zu bytes written to %s\n", static_cast<unsigned long long>(count), text.size(),
                output.c_str());
    return 0;
}

const CommandRegistration registration{
    "gen-db", "--records N --order random|ascending|descending|equal --seed S [--crlf] -o FILE",
    "generate a realistic database text", &RunGenDb};

}  // namespace

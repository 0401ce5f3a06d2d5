// Feeds arbitrary bytes as the date stamp and database header read back from
// a device: the first byte splits the input into the two. Whatever they hold,
// the reader answers within the bytes it was given and never names more
// records than the region can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "database/database_holdings.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const std::size_t cut = data[0] < rest.size() ? data[0] : rest.size();
    const DatabaseHoldings holdings = ReadDatabaseHoldings(rest.first(cut), rest.subspan(cut));
    Check(holdings.known);
    Check(holdings.date.empty() || holdings.date.size() == 8);
    Check(holdings.records <= DatabaseRegion::MaxRecords);
    Check(holdings.hasDatabase || holdings.records == 0);
    Check(!holdings.hasDatabase || rest.size() - cut >= DatabaseRegion::HeaderSize);
    return 0;
}

#include "database/database_record.h"

#include <algorithm>

#include "database/buffered_file.h"

#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

namespace {
constexpr double kSecondsToDegrees = 0.0002777777777777778;  // nearest double to 1/3600
constexpr double kMinutesToUnits = 166.66666666666666;        // nearest double to 10000/60
constexpr double kDegreesToUnits = 10000.0;
}  // namespace

int DatabaseRecord::Read(BufferedFileReader& file) {
    int count = 0;
    for (;;) {
        const int byte = file.Get();
        if (byte < 0)
            return -1;
        if (byte == 0)
            break;
        if (count < CharacterCount)
            Values[static_cast<std::size_t>(count)] = byte;
        if (count < TooLong)
            ++count;
    }
    if (count == CharacterCount)
        Decode();
    return count;
}

std::int32_t CombineCoordinate(std::int32_t degrees, std::int32_t minutes, std::int32_t seconds) {
    // One named step per rounding, in the order the device's table was built
    // with. A fused multiply-add would skip a rounding and change the packed
    // bytes (1199.9999999999998 would become 1200): the build passes
    // -ffp-contract=off for every compiler, and the pragma below says the same
    // to compilers that honour it.
    const double secondsInDegrees = static_cast<double>(seconds) * kSecondsToDegrees;
    const double secondsInUnits = secondsInDegrees * kDegreesToUnits;
    const double minutesInUnits = static_cast<double>(minutes) * kMinutesToUnits;
    const double degreesInUnits = static_cast<double>(degrees) * kDegreesToUnits;
    const double partial = secondsInUnits + minutesInUnits;
    const double total = partial + degreesInUnits;
    return static_cast<std::int32_t>(total);  // truncation toward zero
}

void DatabaseRecord::Decode() {
    auto& x = Values;
    Key = 355 - x[4];
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = std::max(0, (i == 4 ? x[i] - 100 : Key - x[i]));
    Coord1 = CombineCoordinate(x[2], x[3], x[4]);
    Coord2 = CombineCoordinate(x[6], x[7], x[5]);
}

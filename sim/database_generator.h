#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Realistic database texts as the update server sends them: NUL-terminated
// records of 13 encoded characters describing camera sites across the UK and
// Europe. Used by the simulated server, tests, benchmarks and the demo.

enum class RecordOrder {
    Random,      // sites in generation order
    Ascending,   // ascending (Coord1, Coord2): the cheapest order to convert
    Descending,  // descending (Coord1, Coord2): the order of the packed table
    EqualKeys,   // every record at the same position (attributes differ)
};

struct DatabaseGeneratorOptions {
    std::size_t records = 1000;
    RecordOrder order = RecordOrder::Random;
    std::uint64_t seed = 1;
    // Puts "\r\n" after every record's NUL, as a server that writes text lines
    // would; the conversion ignores both bytes.
    bool lineBreaks = false;
};

// One camera site before encoding. Latitude and longitude are given as
// degrees, minutes and seconds (all 0 to 59 except degrees); the longitude is
// its absolute value, the hemisphere is bit 0 of `flags` (1 = west).
struct CameraSite {
    int latDegrees = 0, latMinutes = 0, latSeconds = 0;
    int lonDegrees = 0, lonMinutes = 0, lonSeconds = 0;
    std::uint8_t cameraType = 0;   // attribute byte 1
    std::uint8_t speedLimit = 0;   // attribute byte 2, mph
    std::uint8_t heading = 0;      // attribute byte 3, degrees / 2
    std::uint8_t directions = 0;   // attribute byte 4
    std::uint8_t region = 0;       // attribute byte 5
    std::uint8_t flags = 0;        // attribute byte 6
};

// Largest value any field may take in EncodeCameraSite: it keeps every encoded
// character at 14 or more, so no character is NUL, CR or LF.
inline constexpr int MaxEncodedValue = 182;

// The 13 characters of one record (no NUL). `salt` picks the unused first
// character. Every field must lie in 0 to MaxEncodedValue and the seconds in
// 0 to 59; out-of-range fields are clamped.
std::string EncodeCameraSite(const CameraSite& site, std::uint8_t salt);

std::string GenerateDatabaseText(const DatabaseGeneratorOptions& options);

// The text the simulated update server answers for a serial number: always
// the same for the same serial and record count.
std::string GenerateDatabaseTextForSerial(const std::string& serial, std::size_t records);

// Parses "random", "ascending", "descending" or "equal"; false otherwise.
bool ParseRecordOrder(const std::string& text, RecordOrder& order);

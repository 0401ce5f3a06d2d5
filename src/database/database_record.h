#pragma once

#include <array>
#include <cstdint>

class BufferedFileReader;

// One record of the database text: 13 encoded characters that decode into two
// coordinates (degrees, minutes and seconds in ten-thousandths of a degree)
// and six attribute bytes.
class DatabaseRecord {
public:
    static constexpr int CharacterCount = 13;
    // What Read returns for a record of more than 13 characters: it is
    // discarded whole, like a short one, and never cut to 13.
    static constexpr int TooLong = CharacterCount + 1;

    // Reads one NUL-terminated record from a buffer file. Returns the number of
    // characters stored (13 for a valid record, which is decoded before
    // returning; fewer for a short one), TooLong for a record with more than 13
    // characters (only the first 13 are kept), or -1 at the end of the file,
    // where a partial record is dropped.
    int Read(BufferedFileReader& file);

    // Turns the 13 stored characters into values and coordinates.
    void Decode();

    // c1 to c13 as read; after Decode the values x1 to x13.
    std::array<std::int32_t, CharacterCount> Values{};
    std::int32_t Key = 0;
    std::int32_t Coord1 = 0;
    std::int32_t Coord2 = 0;
};

// Degrees, minutes and seconds as one coordinate. The evaluation order, the
// rounding of every product and sum to double, and the final truncation are
// part of the packed format: 0°5'6" must give 849, not 850.
std::int32_t CombineCoordinate(std::int32_t degrees, std::int32_t minutes, std::int32_t seconds);

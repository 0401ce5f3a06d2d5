#include "database_generator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

// A small generator of our own: std:: distributions differ between standard
// libraries, and the same seed must give the same text everywhere.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 to bound - 1; the modulo bias is irrelevant for test data.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
    // Uniform in [-1, 1).
    double Signed() { return static_cast<double>(Next() >> 11) * 0x1.0p-52 - 1.0; }

private:
    std::uint64_t state_;
};

struct Town {
    double latitude;
    double longitude;  // negative west of Greenwich
    std::uint8_t region;
};

// Where the cameras cluster: towns of the UK first, then the continent.
constexpr std::array<Town, 32> kTowns{{
    {51.5074, -0.1278, 1},  {53.4808, -2.2426, 1},  {52.4862, -1.8904, 1},  {55.9533, -3.1883, 2},
    {55.8642, -4.2518, 2},  {53.8008, -1.5491, 1},  {51.4545, -2.5879, 1},  {54.5973, -5.9301, 3},
    {51.4816, -3.1791, 4},  {50.3755, -4.1427, 1},  {57.1497, -2.0943, 2},  {52.6309, 1.2974, 1},
    {53.3498, -6.2603, 5},  {48.8566, 2.3522, 6},   {45.7640, 4.8357, 6},   {43.2965, 5.3698, 6},
    {52.5200, 13.4050, 7},  {48.1351, 11.5820, 7},  {50.1109, 8.6821, 7},   {53.5511, 9.9937, 7},
    {52.3676, 4.9041, 8},   {50.8503, 4.3517, 9},   {40.4168, -3.7038, 10}, {41.3874, 2.1686, 10},
    {38.7223, -9.1393, 11}, {41.9028, 12.4964, 12}, {45.4642, 9.1900, 12},  {47.3769, 8.5417, 13},
    {48.2082, 16.3738, 14}, {59.3293, 18.0686, 15}, {60.1699, 24.9384, 16}, {52.2297, 21.0122, 17},
}};

constexpr std::array<std::uint8_t, 7> kSpeedLimits{20, 30, 40, 50, 60, 70, 80};

void ToDegreesMinutesSeconds(double value, int& degrees, int& minutes, int& seconds) {
    const long totalSeconds = std::lround(std::fabs(value) * 3600.0);
    degrees = static_cast<int>(totalSeconds / 3600);
    minutes = static_cast<int>(totalSeconds / 60 % 60);
    seconds = static_cast<int>(totalSeconds % 60);
}

CameraSite RandomSite(SplitMix64& random) {
    const Town& town = kTowns[random.Below(kTowns.size())];
    CameraSite site;
    const double latitude = town.latitude + 0.4 * random.Signed();
    const double longitude = town.longitude + 0.6 * random.Signed();
    ToDegreesMinutesSeconds(latitude, site.latDegrees, site.latMinutes, site.latSeconds);
    ToDegreesMinutesSeconds(longitude, site.lonDegrees, site.lonMinutes, site.lonSeconds);
    site.cameraType = static_cast<std::uint8_t>(1 + random.Below(6));
    site.speedLimit = kSpeedLimits[random.Below(kSpeedLimits.size())];
    site.heading = static_cast<std::uint8_t>(random.Below(180));
    site.directions = static_cast<std::uint8_t>(1 + random.Below(2));
    site.region = town.region;
    site.flags = longitude < 0.0 ? 1 : 0;
    return site;
}

auto PositionKey(const CameraSite& s) {
    return std::tie(s.latDegrees, s.latMinutes, s.latSeconds, s.lonDegrees, s.lonMinutes, s.lonSeconds);
}

std::vector<CameraSite> GenerateSites(const DatabaseGeneratorOptions& options, SplitMix64& random) {
    std::vector<CameraSite> sites;
    sites.reserve(options.records);
    const CameraSite anchor = RandomSite(random);
    for (std::size_t i = 0; i < options.records; ++i) {
        CameraSite site = RandomSite(random);
        if (options.order == RecordOrder::EqualKeys) {
            CameraSite same = anchor;
            same.cameraType = site.cameraType;
            same.speedLimit = site.speedLimit;
            same.heading = site.heading;
            site = same;
        }
        sites.push_back(site);
    }
    // The coordinates grow with (degrees, minutes, seconds) taken in that
    // order, so sorting by those fields sorts by the decoded key.
    if (options.order == RecordOrder::Ascending)
        std::stable_sort(sites.begin(), sites.end(),
                         [](const CameraSite& a, const CameraSite& b) { return PositionKey(a) < PositionKey(b); });
    if (options.order == RecordOrder::Descending)
        std::stable_sort(sites.begin(), sites.end(),
                         [](const CameraSite& a, const CameraSite& b) { return PositionKey(b) < PositionKey(a); });
    return sites;
}

int Clamp(int value, int high) { return std::clamp(value, 0, high); }

}  // namespace

std::string EncodeCameraSite(const CameraSite& site, std::uint8_t salt) {
    // The seconds of the latitude travel in character 5 and set the key every
    // other character is taken from: c5 = 100 + seconds, K = 355 - c5.
    const int seconds = Clamp(site.latSeconds, 59);
    const int key = 355 - (100 + seconds);
    auto encode = [key](int value) { return static_cast<char>(key - Clamp(value, MaxEncodedValue)); };
    std::string record(13, '\0');
    record[0] = static_cast<char>(salt == 0 || salt == '\r' || salt == '\n' ? 0x7F : salt);
    record[1] = encode(site.flags);
    record[2] = encode(site.latDegrees);
    record[3] = encode(site.latMinutes);
    record[4] = static_cast<char>(100 + seconds);
    record[5] = encode(site.lonSeconds);
    record[6] = encode(site.lonDegrees);
    record[7] = encode(site.lonMinutes);
    record[8] = encode(site.cameraType);
    record[9] = encode(site.speedLimit);
    record[10] = encode(site.heading);
    record[11] = encode(site.directions);
    record[12] = encode(site.region);
    return record;
}

std::string GenerateDatabaseText(const DatabaseGeneratorOptions& options) {
    SplitMix64 random(options.seed);
    const std::vector<CameraSite> sites = GenerateSites(options, random);
    std::string text;
    text.reserve(sites.size() * (options.lineBreaks ? 16 : 14));
    for (const CameraSite& site : sites) {
        text += EncodeCameraSite(site, static_cast<std::uint8_t>(1 + random.Below(255)));
        text += '\0';
        if (options.lineBreaks)
            text += "\r\n";
    }
    return text;
}

std::string GenerateDatabaseTextForSerial(const std::string& serial, std::size_t records) {
    // FNV-1a of the serial: stable across platforms and runs.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (unsigned char c : serial) {
        hash ^= c;
        hash *= 0x100000001B3ULL;
    }
    DatabaseGeneratorOptions options;
    options.records = records;
    options.order = RecordOrder::Random;
    options.seed = hash;
    options.lineBreaks = true;
    return GenerateDatabaseText(options);
}

bool ParseRecordOrder(const std::string& text, RecordOrder& order) {
    if (text == "random")
        order = RecordOrder::Random;
    else if (text == "ascending")
        order = RecordOrder::Ascending;
    else if (text == "descending")
        order = RecordOrder::Descending;
    else if (text == "equal")
        order = RecordOrder::EqualKeys;
    else
        return false;
    return true;
}

#include "conversion_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "common/file_io.h"
#include "database/database_conversion.h"
#include "database_generator.h"
#include "support/scratch_files.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    // A folder name that is not ASCII, as a user's data folder may have.
    const std::string prefix = std::string("orvo-conv-") + kNonAsciiName + "-";
    path_ = MakeUniqueFolder(Utf8String(fs::temp_directory_path()), prefix) + "/";
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

// Only a regular file, and no more than any packed database holds: a link to
// a device left by a test must fail that test, not exhaust the memory.
std::string ReadFileBytes(const std::string& path) {
    constexpr std::uintmax_t kMaxBytes = 64u << 20;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(Utf8Path(path), error)))
        throw std::runtime_error(path + " is not a regular file");
    if (fs::file_size(Utf8Path(path), error) > kMaxBytes || error)
        throw std::runtime_error(path + " is larger than any database");
    std::ifstream in(Utf8Path(path), std::ios::binary);
    std::string bytes(kMaxBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxBytes)
        throw std::runtime_error(path + " grew beyond any database");
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(Utf8Path(path), ignored));
}

std::vector<std::string> BufferFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Utf8Path(folder)))
        if (entry.path().filename().string().rfind("FileBuffer", 0) == 0)
            names.push_back(entry.path().filename().string());
    return names;
}

ProductRun ConvertText(const TempFolder& folder, const std::string& text) {
    const std::string textPath = folder.Base() + ".txt";
    WriteFileBytes(textPath, text);
    ProductRun run;
    std::FILE* file = OpenFile(textPath, "rb");
    if (file == nullptr)
        throw std::runtime_error("cannot open the test text");
    DatabaseConversion conversion(folder.Path());
    const auto split = conversion.SplitDatabaseText(file);
    std::fclose(file);
    if (split != DatabaseConversion::SplitOutcome::Done) {
        run.result = "split failed";
        return run;
    }
    run.result = ConversionResultText(conversion.SortDatabaseRecords(folder.Base()));
    run.lists = conversion.ListCount();
    run.packedExists = FileExists(folder.Base() + ".bin");
    std::error_code ignored;
    if (run.packedExists && fs::is_regular_file(fs::symlink_status(Utf8Path(folder.Base() + ".bin"), ignored)))
        run.packed = ReadFileBytes(folder.Base() + ".bin");
    return run;
}

std::string EncodedRecord(int latDeg, int latMin, int latSec, int lonDeg, int lonMin, int lonSec,
                          std::uint8_t attribute) {
    CameraSite site;
    site.latDegrees = latDeg;
    site.latMinutes = latMin;
    site.latSeconds = latSec;
    site.lonDegrees = lonDeg;
    site.lonMinutes = lonMin;
    site.lonSeconds = lonSec;
    site.cameraType = site.speedLimit = site.heading = site.directions = site.region = attribute;
    return EncodeCameraSite(site, 'A');
}

std::string Roughen(const std::string& text, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    auto chance = [&random](unsigned percent) { return random() % 100 < percent; };
    auto byteNotNul = [&random] { return static_cast<char>(1 + random() % 255); };
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\0', start);
        if (end == std::string::npos)
            end = text.size();
        std::string record = text.substr(start, end - start);
        start = end + 1;
        const unsigned kind = static_cast<unsigned>(random() % 100);
        if (kind < 3)
            record.resize(random() % 13);  // short
        else if (kind < 5)
            record.append(1 + random() % 40, 'x');  // more than 13 characters
        else if (kind < 6)
            record.append(290 + random() % 30, '\r');  // around the record buffer's size
        else if (kind < 14)
            for (char& c : record)  // random bytes: the whole range of values
                c = byteNotNul();
        if (chance(10))
            record.insert(random() % (record.size() + 1), chance(50) ? "\r\n" : "\n");
        out += record;
        if (end < text.size())
            out += '\0';
        if (chance(10))
            out += "\r\n";
    }
    return out;
}

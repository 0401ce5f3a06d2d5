#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder per test, removed with everything in it afterwards. Its path
// ends with the separator, like ProgramFolder.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string Base() const { return path_ + "tesselDB"; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Names of the files in `folder` that start with "FileBuffer".
std::vector<std::string> BufferFilesIn(const std::string& folder);

// The result of running both passes of the product on a text.
struct ProductRun {
    std::string result;  // "SUCCESS", "" or an error text
    std::string packed;  // the packed database file, when one exists
    bool packedExists = false;
    std::size_t lists = 0;
};
ProductRun ConvertText(const TempFolder& folder, const std::string& text);

// The 13 characters of a record whose values decode to the given fields, all
// 0 to 182 (seconds 0 to 59); `attribute` fills attribute bytes 1 to 5.
std::string EncodedRecord(int latDeg, int latMin, int latSec, int lonDeg, int lonMin, int lonSec,
                          std::uint8_t attribute = 1);

// Turns a clean generated text into a rough one: CR and LF bytes sprinkled in,
// and a share of records replaced by invalid ones (short, longer than 13,
// longer than the record buffer) or by random valid bytes.
std::string Roughen(const std::string& text, std::uint64_t seed);

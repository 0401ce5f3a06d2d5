// Feeds arbitrary bytes as the downloaded database text through
// PrepareDatabase in a private folder, and checks what must hold for every
// input: the packed database equals the plain reference conversion kept with
// the tests, a text with fewer than half of its records valid is refused, the
// DFU file exists exactly when the result is the base, and no buffer file
// survives.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/program_folder.h"
#include "database/database_conversion.h"
// The reference is compiled into the target itself: it is test code, not part
// of any library.
#include "../tests/database/reference_conversion.cpp"

namespace {

std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvo-fuzz-conv-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        __builtin_trap();
    static std::string made;
    made = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return pattern + "/";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = MakeFolder();
    static CycleEventChannel events;
    const std::string base = folder + "tesselDB";
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(base + ".txt", std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    const PreparedDatabase prepared = PrepareDatabase(base, folder, events);
    const ReferenceResult expected = ReferenceConvert(text);
    const bool junk = 2ull * expected.validRecords < expected.textRecords;
    namespace fs = std::filesystem;
    if (prepared.Ready()) {
        Check(expected.result == "SUCCESS" && !junk);
        Check(ReadAll(base + ".bin") == expected.packed);
        Check(fs::exists(base + ".dfu"));
    } else {
        Check(ConversionResultText(prepared.result) == (junk ? std::string() : expected.result));
        Check(!fs::exists(base + ".bin") && !fs::exists(base + ".dfu"));
    }
    for (const auto& entry : fs::directory_iterator(folder))
        Check(entry.path().filename().string().rfind("FileBuffer", 0) != 0);
    return 0;
}

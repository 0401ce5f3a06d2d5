// Feeds arbitrary bytes as the settings file "tessell": once through the text
// parser on its own and once through the whole start-up path (read the file,
// take the language index, mark the regions, sum the download size, save).
// The file can be edited by hand, so nothing in it may crash, overflow or
// read past its end, and what the updater writes back must read back as
// what it wrote.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "ui/settings_file.h"
#include "ui/shared_settings.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool HasSpace(const std::string& text) {
    return text.find_first_of(" \t\n\r\v\f") != std::string::npos;
}

std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvo-fuzz-settings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    static std::string made;
    made = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return pattern + "/";
}

void CheckParser(std::string_view text) {
    const auto values = ParseSettingsText(text);
    if (!values)
        return;
    Check(!values->languageFragment.empty());
    Check(values->languageFragment.size() <= MaxSettingsTokenLength && !HasSpace(values->languageFragment));
    if (values->regionFragment) {
        Check(!values->regionFragment->empty());
        Check(values->regionFragment->size() <= MaxSettingsTokenLength && !HasSpace(*values->regionFragment));
    } else {
        Check(!values->downloadSizeKb);
    }
    // Reading the numbers stops at the first one that cannot be read.
    bool stopped = !values->downloadSizeKb;
    for (const auto& size : values->regionSizes) {
        Check(!(stopped && size));
        stopped = stopped || !size;
    }
    if (!values->regionFragment || !values->downloadSizeKb)
        return;
    RegionSlots sizes{};
    for (int region = 0; region < RegionCount; ++region)
        sizes[region] = values->regionSizes[region].value_or(0);
    const auto again = ParseSettingsText(
        FormatSettingsText(values->languageFragment, *values->regionFragment, *values->downloadSizeKb, sizes));
    Check(again && again->languageFragment == values->languageFragment &&
          again->regionFragment == values->regionFragment && again->downloadSizeKb == values->downloadSizeKb);
    for (int region = 0; region < RegionCount; ++region)
        Check(again->regionSizes[region] == sizes[region]);
}

void CheckStartUp(const std::string& folder, std::string_view text) {
    const std::string path = folder + SettingsFileName;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    SharedSettings settings(ProgramFolderLocations(folder));
    settings.LoadSettings(nullptr);
    const int language = settings.TakeLanguageIndexFromFragment();
    Check(language >= 0 && language <= 9);
    settings.LoadRegionSelection();
    settings.DownloadSizeKb = settings.ComputeDownloadSize();
    settings.SaveSettings();

    // What was saved reads back as the values in force.
    const auto saved = ReadSettingsFile(path);
    Check(saved.has_value());
    const auto values = ParseSettingsText(*saved);
    Check(values && values->languageFragment == settings.LanguageFragment());
    // A hand-edited fragment can name slots without a region, and their
    // list can outgrow a token: it is read back cut, as any long token.
    Check(values->regionFragment == settings.RegionFragment().substr(0, MaxSettingsTokenLength));
    Check(values->downloadSizeKb == settings.DownloadSizeKb.load());
    const RegionSlots sizes = settings.RegionSizes();
    for (int region = 0; region < RegionCount; ++region)
        Check(values->regionSizes[region] == sizes[region]);
    Check(!std::filesystem::exists(path + ".new"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = MakeFolder();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckParser(text);
    CheckStartUp(folder, text);
    return 0;
}

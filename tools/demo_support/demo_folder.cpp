#include "demo_support/demo_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/program_folder.h"
#include "common/working_files.h"
#include "device/dfu_device.h"
#include "ui/shared_settings.h"

std::string PrepareDemoProgramFolder(const PrivateTempFolder& folder, const std::string& realProgramFolder) {
    namespace fs = std::filesystem;
    const fs::path target(folder.Path());
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(realProgramFolder.empty() ? "." : realProgramFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == WorkingFile::Picture || name.rfind("Lang_", 0) == 0) {
            std::error_code ignored;
            fs::copy_file(entry.path(), target / name, ignored);
        }
    }
    return (target / "orvo-demo").string();
}

void SeedDemoEnglishSettings(const std::string& programPath) {
    SharedSettings settings(ProgramFolderLocations(ProgramFolderOf(programPath)));
    settings.SetLanguage(0);
    settings.DownloadSizeKb = settings.ComputeDownloadSize();
    settings.SaveSettings();
}

std::string MakeDemoProgramFolder(PrivateTempFolder& folder, const std::string& firstWord, bool headless) {
    std::string error;
    if (!folder.Create("orvo-demo", error)) {
        std::fprintf(stderr, "orvo-demo: %s\n", error.c_str());
        return {};
    }
    const std::string programPath = PrepareDemoProgramFolder(folder, ProgramFolderOf(ResolveProgramPath(firstWord)));
    if (headless)
        SeedDemoEnglishSettings(programPath);
    return programPath;
}

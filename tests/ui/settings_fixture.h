#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch_files.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"

// A program folder of its own, fresh shared settings whose data folder it is
// and resources of its own (the built-in set in force).
class SettingsFixture {
public:
    explicit SettingsFixture(const std::string& name) : folder(name), settings(Locations()) {}

    // Everything in the program folder, as in a portable copy.
    FileLocations Locations() const { return ProgramFolderLocations(folder.File("")); }

    std::string SettingsPath() const { return folder.File("tessell"); }
    bool SettingsFileExists() const { return std::filesystem::exists(Utf8Path(SettingsPath())); }

    std::vector<std::string> SettingsLines() const {
        std::ifstream in(Utf8Path(SettingsPath()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    void WriteSettings(const std::string& text) const {
        std::ofstream out(Utf8Path(SettingsPath()), std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Copies a built language library into the program folder.
    void InstallLibrary(const std::string& fileName) const {
        std::filesystem::copy_file(std::string(ORVO_TEST_BIN_DIR) + "/" + fileName, Utf8Path(folder.File(fileName)),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    ScratchFolder folder;
    SharedSettings settings;
    Resources resources;
};

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/dfu_device.h"
#include "common/program_folder.h"
#include "common/working_files.h"

namespace fs = std::filesystem;

TEST(ProgramFolder, KeepsTheDirectoryWithItsSeparator) {
    EXPECT_EQ(ProgramFolderOf("/opt/orvo/bin/orvo-updater"), "/opt/orvo/bin/");
    EXPECT_EQ(ProgramFolderOf("/orvo-updater"), "/");
    EXPECT_EQ(ProgramFolderOf("./orvo-updater"), "./");
}

TEST(ProgramFolder, BareFileNameGivesEmptyFolder) {
    EXPECT_EQ(ProgramFolderOf("orvo-updater"), "");
    EXPECT_EQ(CDfuDevice("orvo-updater").ProgramFolder, "");
}

TEST(ProgramFolder, ResolvesOwnExecutable) {
    const std::string self = ResolveProgramPath("fallback");
    EXPECT_NE(self, "fallback");
    EXPECT_TRUE(fs::exists(self));
}

TEST(WorkingFiles, BufferFileNamesAreTwoDigits) {
    EXPECT_EQ(BufferFileName(1), "FileBuffer01");
    EXPECT_EQ(BufferFileName(30), "FileBuffer30");
}

TEST(WorkingFiles, DeleteRemovesOnlyTheCycleFiles) {
    const fs::path dir = fs::temp_directory_path() / "orvo_working_files_test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string folder = dir.string() + "/";
    for (const char* name : {"tesselDB.txt", "tesselDB.bin", "tesselDB.dfu", "tessell", "Date.bin"})
        std::ofstream(folder + name) << "x";

    DeleteWorkingFiles(folder);

    EXPECT_FALSE(fs::exists(folder + "tesselDB.txt"));
    EXPECT_FALSE(fs::exists(folder + "tesselDB.bin"));
    EXPECT_FALSE(fs::exists(folder + "tesselDB.dfu"));
    EXPECT_TRUE(fs::exists(folder + "tessell"));
    EXPECT_TRUE(fs::exists(folder + "Date.bin"));

    DeleteWorkingFiles(folder);  // nothing left: silently does nothing
    fs::remove_all(dir);
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device/dfu_device.h"
#include "common/program_folder.h"
#include "common/working_files.h"
#include "support/scratch_files.h"

namespace fs = std::filesystem;

// Where the user data folder goes, for as long as the object lives.
class ScopedDataHome : public ScopedEnvironment {
public:
    explicit ScopedDataHome(const std::string& folder)
        : ScopedEnvironment(UserDataHomeOfThisPlatform().variable, folder) {}
};

// The program's data folder in the data home `home`, as the program spells
// it (forward slashes, a separator at the end).
std::string DataFolderIn(const fs::path& home) {
    const std::u8string generic = (home / UserDataHomeOfThisPlatform().folderName).generic_u8string();
    return std::string(generic.begin(), generic.end()) + "/";
}

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

// Where the settings file and the working files go, and where the read-only
// resources are looked for, in a portable copy and in an installed one.
TEST(FileLocations, UserDataFolderFollowsTheXdgRules) {
    EXPECT_EQ(UserDataFolder({"/data/home", "/home/ann"}), "/data/home/orvo-updater/");
    EXPECT_EQ(UserDataFolder({"/data/home/", "/home/ann"}), "/data/home/orvo-updater/");
    // A relative XDG_DATA_HOME is ignored.
    EXPECT_EQ(UserDataFolder({"data", "/home/ann"}), "/home/ann/.local/share/orvo-updater/");
    EXPECT_EQ(UserDataFolder({"", "/home/ann/"}), "/home/ann/.local/share/orvo-updater/");
    // Nowhere absolute to go: no user data folder, rather than one relative
    // to the current directory.
    EXPECT_EQ(UserDataFolder({"", "home"}), "");
    EXPECT_EQ(UserDataFolder({"", ""}), "");
    EXPECT_EQ(UserStateFolder({"/data/home", "/home/ann", "/state/"}), "/state/orvo-updater/");
    EXPECT_EQ(UserStateFolder({"", "/home/ann", "state"}), "/home/ann/.local/state/orvo-updater/");
}

TEST(FileLocations, WritableProgramFolderKeepsEverythingBesideTheProgram) {
    const FileLocations portable =
        ChooseFileLocations("/opt/orvo/", true, "/home/ann/.local/share/orvo-updater/", {"/usr/share/orvo-updater"});
    EXPECT_EQ(portable.dataFolder, "/opt/orvo/");
    EXPECT_EQ(portable.historyFile, "/opt/orvo/history.sqlite");
    EXPECT_EQ(portable.logFolder, "/opt/orvo/");
    EXPECT_EQ(portable.resourceFolders, (std::vector<std::string>{"/opt/orvo/", "/usr/share/orvo-updater/"}));
    EXPECT_EQ(CDfuDevice("/opt/orvo/orvo-updater").ResourceFolders, std::vector<std::string>{"/opt/orvo/"});
}

TEST(FileLocations, ReadOnlyProgramFolderSendsDataToTheUserFolder) {
    const FileLocations installed =
        ChooseFileLocations("/usr/bin/", false, "/home/ann/.local/share/orvo-updater/",
                            {"/usr/lib/orvo-updater", "relative/share", "/usr/share/orvo-updater/", "/usr/bin/"},
                            "/home/ann/.local/state/orvo-updater/");
    EXPECT_EQ(installed.dataFolder, "/home/ann/.local/share/orvo-updater/");
    EXPECT_EQ(installed.historyFile, "/home/ann/.local/share/orvo-updater/history.sqlite");
    EXPECT_EQ(installed.logFolder, "/home/ann/.local/state/orvo-updater/");
    // The program folder first, installed folders after it; never a folder
    // relative to the current directory, never one twice.
    EXPECT_EQ(installed.resourceFolders,
              (std::vector<std::string>{"/usr/bin/", "/usr/lib/orvo-updater/", "/usr/share/orvo-updater/"}));

    const CDfuDevice device(installed);
    EXPECT_EQ(device.ProgramFolder, "/home/ann/.local/share/orvo-updater/");
    EXPECT_EQ(device.ResourceFolders, installed.resourceFolders);

    // No user data folder at all: the program folder stays, as before.
    EXPECT_EQ(ChooseFileLocations("/usr/bin/", false, "", {}).dataFolder, "/usr/bin/");
}

TEST(FileLocations, UserDataFolderIsCreatedForTheUserAlone) {
    // A user whose name is not ASCII, as "C:\\Users\\Zoë".
    const std::string user = std::string("orvo_locations_") + kNonAsciiName + "_" + std::to_string(CurrentProcessId());
    const fs::path base = fs::temp_directory_path() / Utf8Path(user);
    fs::remove_all(base);
    const ScopedDataHome dataHome(Utf8String(base / "share"));
    const std::string expected = DataFolderIn(base / "share");

    // A program folder that does not exist cannot take files either.
    EXPECT_FALSE(FolderIsWritable("/nonexistent-orvo-folder/"));
    // Only saying where the files are creates nothing.
    const FileLocations told = ResolveFileLocations("/nonexistent-orvo-folder/", {}, {}, false);
    EXPECT_EQ(told.dataFolder, expected);
    EXPECT_FALSE(fs::exists(base));
    const FileLocations locations = ResolveFileLocations("/nonexistent-orvo-folder/", {});
    EXPECT_EQ(locations.dataFolder, expected);
    EXPECT_TRUE(fs::is_directory(Utf8Path(locations.dataFolder)));
    EXPECT_TRUE(FolderIsWritable(locations.dataFolder));
    const unsigned mode = ModeBits(locations.dataFolder);

    fs::remove_all(base);
    ORVO_SKIP_WITHOUT(FilePermissions);
    EXPECT_EQ(mode, 0700u);
}

TEST(FileLocations, ResourceIsTakenFromTheFirstFolderThatHasIt) {
    const fs::path base = fs::temp_directory_path() / ("orvo_resources_" + std::to_string(CurrentProcessId()));
    fs::remove_all(base);
    fs::create_directories(base / "program");
    fs::create_directories(base / "installed");
    const std::string program = (base / "program").string() + "/";
    const std::string installed = (base / "installed").string() + "/";
    std::ofstream(installed + "Tessel.bmp") << "x";

    EXPECT_EQ(FindResourceFile({program, installed}, "Tessel.bmp"), installed + "Tessel.bmp");
    std::ofstream(program + "Tessel.bmp") << "x";
    EXPECT_EQ(FindResourceFile({program, installed}, "Tessel.bmp"), program + "Tessel.bmp");
    EXPECT_EQ(FindResourceFile({program, installed}, "Lang_GER.Dll"), "");
    fs::create_directories(base / "installed" / "Lang_FRA.Dll");  // a folder is not the file
    EXPECT_EQ(FindResourceFile({installed}, "Lang_FRA.Dll"), "");
    fs::remove_all(base);
}

TEST(FileLocations, InstalledProgramFolderNeverTakesFilesEvenWhenWritable) {
    const fs::path base = fs::temp_directory_path() / ("orvo_installed_" + std::to_string(CurrentProcessId()));
    fs::remove_all(base);
    fs::create_directories(base / "bin");
    const std::string bin = (base / "bin").string() + "/";
    const ScopedDataHome dataHome((base / "share").string());

    ASSERT_TRUE(FolderIsWritable(bin));
    EXPECT_EQ(ResolveFileLocations(bin, {}).dataFolder, bin);  // a portable copy
    EXPECT_EQ(ResolveFileLocations(bin, {}, (base / "bin").string()).dataFolder,
              DataFolderIn(base / "share"));

    fs::remove_all(base);
}

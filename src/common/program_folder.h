#pragma once

#include <string>
#include <vector>

// The folder part of a program path, ending in the separator; empty for a bare
// file name.
std::string ProgramFolderOf(const std::string& programPath);

// The program's own executable as the operating system reports it, or
// `fallback` (the first command-line word) when it cannot say.
std::string ResolveProgramPath(const std::string& fallback);

// Where the program's files are. Every folder ends in the separator (an empty
// one means the current directory).
struct FileLocations {
    // The settings file and the working files of a cycle: the program folder
    // when it is writable (a portable copy), the user's data folder otherwise.
    std::string dataFolder;
    // Read-only resources (picture, language libraries), searched in order:
    // the program folder first, then the folders the installation put them in.
    std::vector<std::string> resourceFolders;
    // The update history with its kept backups, beside the settings file.
    std::string historyFile{};
    // The log for support: the user's state folder, or beside the settings
    // file in a portable copy. Made by the log at its first line.
    std::string logFolder{};
};

inline constexpr const char* HistoryFileName = "history.sqlite";

// Everything beside the program, as in a portable copy.
FileLocations ProgramFolderLocations(const std::string& programFolder);

// The values of the environment that decide the user's data folder.
struct UserEnvironment {
    std::string xdgDataHome;   // $XDG_DATA_HOME
    std::string home;          // $HOME, or the account's home folder
    std::string xdgStateHome{};  // $XDG_STATE_HOME
    std::string localAppData{};  // %LOCALAPPDATA% (Windows; empty elsewhere)
    static UserEnvironment Current();
};

inline constexpr const char* UserDataFolderName = "orvo-updater";
// On Windows: %LOCALAPPDATA%\Orvo Updater, the log in its "logs" folder.
inline constexpr const char* WindowsDataFolderName = "Orvo Updater";
inline constexpr const char* WindowsLogFolderName = "logs";

// The XDG data home ($XDG_DATA_HOME when absolute, else $HOME/.local/share)
// followed by the program's own folder name and the separator; empty when
// neither gives an absolute folder. With `localAppData` set (Windows), that
// folder followed by WindowsDataFolderName instead.
std::string UserDataFolder(const UserEnvironment& environment);

// The same for the XDG state home ($XDG_STATE_HOME when absolute, else
// $HOME/.local/state), where the log goes; on Windows the data folder's
// WindowsLogFolderName folder.
std::string UserStateFolder(const UserEnvironment& environment);

// Whether a file can be created in `folder` by this process.
bool FolderIsWritable(const std::string& folder);

// Whether `folder` is this user's alone: owned by the user, and no one else
// may write or plant files there (not group- or world-writable, not sticky).
// Only such a program folder keeps the data of a portable copy.
bool FolderIsUsersOwn(const std::string& folder);

// The characters that separate a path's parts: "/", on Windows "/\\" too.
const char* PathSeparators();

// Whether `path` is absolute: "/..." or, on Windows, "C:/...", "C:\\..." or
// a "\\\\server\\share" path.
bool IsAbsolutePath(const std::string& path);

// The decision, without touching the disk: the program folder when writable
// or when there is no user data folder to go to, else the user data folder.
// Installed resource folders that are not absolute are left out: a resource
// must never be found relative to the current directory. The log goes to the
// user state folder unless the settings stay beside the program.
FileLocations ChooseFileLocations(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userDataFolder,
                                  const std::vector<std::string>& installedResourceFolders,
                                  const std::string& userStateFolder = {});

// The program's real locations: checks the program folder, and creates the
// user data folder (for this user only) when it is the one chosen. A program
// folder equal to `installedProgramFolder` (where the package puts the
// program) never takes files, even for root who may write it.
// With `createDataFolder` false nothing is created: for a program that only
// says where the files are.
FileLocations ResolveFileLocations(const std::string& programFolder,
                                   const std::vector<std::string>& installedResourceFolders,
                                   const std::string& installedProgramFolder = {}, bool createDataFolder = true);

// The first folder of `folders` that holds `fileName`, followed by the name;
// empty when none does.
std::string FindResourceFile(const std::vector<std::string>& folders, const std::string& fileName);

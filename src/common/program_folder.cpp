#include "common/program_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/utf8_path.h"

namespace {

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace

std::string ProgramFolderOf(const std::string& programPath) {
    const auto cut = programPath.find_last_of(PathSeparators());
    if (cut == std::string::npos)
        return {};
    return programPath.substr(0, cut + 1);
}

FileLocations ProgramFolderLocations(const std::string& programFolder) {
    return FileLocations{programFolder, {programFolder}, programFolder + HistoryFileName, programFolder};
}

namespace {

// A relative XDG variable is invalid and ignored, as the XDG base directory
// rules say.
std::string XdgFolder(const std::string& variable, const std::string& home, const char* homeRelative) {
    std::string base;
    if (IsAbsolutePath(variable))
        base = WithSeparator(variable);
    else if (IsAbsolutePath(home))
        base = WithSeparator(home) + homeRelative;
    else
        return {};
    return base + UserDataFolderName + "/";
}

// Windows keeps everything of a user's own under the local application data
// folder, the log in a folder of its own there.
std::string LocalAppDataFolder(const std::string& localAppData) {
    if (!IsAbsolutePath(localAppData))
        return {};
    return WithSeparator(localAppData) + WindowsDataFolderName + "/";
}

}  // namespace

std::string UserDataFolder(const UserEnvironment& environment) {
    if (!environment.localAppData.empty())
        return LocalAppDataFolder(environment.localAppData);
    return XdgFolder(environment.xdgDataHome, environment.home, ".local/share/");
}

std::string UserStateFolder(const UserEnvironment& environment) {
    if (!environment.localAppData.empty()) {
        const std::string data = LocalAppDataFolder(environment.localAppData);
        return data.empty() ? data : data + WindowsLogFolderName + "/";
    }
    return XdgFolder(environment.xdgStateHome, environment.home, ".local/state/");
}


FileLocations ChooseFileLocations(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userDataFolder,
                                  const std::vector<std::string>& installedResourceFolders,
                                  const std::string& userStateFolder) {
    FileLocations locations = ProgramFolderLocations(programFolder);
    if (!programFolderWritable && !userDataFolder.empty()) {
        locations.dataFolder = userDataFolder;
        locations.historyFile = userDataFolder + HistoryFileName;
        locations.logFolder = userStateFolder.empty() ? userDataFolder : userStateFolder;
    }
    for (const std::string& folder : installedResourceFolders) {
        const std::string withSeparator = WithSeparator(folder);
        const auto& known = locations.resourceFolders;
        if (!IsAbsolutePath(withSeparator) || std::find(known.begin(), known.end(), withSeparator) != known.end())
            continue;
        locations.resourceFolders.push_back(withSeparator);
    }
    return locations;
}

FileLocations ResolveFileLocations(const std::string& programFolder,
                                   const std::vector<std::string>& installedResourceFolders,
                                   const std::string& installedProgramFolder, bool createDataFolder) {
    const bool takesFiles = FolderIsWritable(programFolder) && FolderIsUsersOwn(programFolder) &&
                            (installedProgramFolder.empty() || WithSeparator(installedProgramFolder) != programFolder);
    const UserEnvironment environment = UserEnvironment::Current();
    FileLocations locations = ChooseFileLocations(programFolder, takesFiles, UserDataFolder(environment),
                                                  installedResourceFolders, UserStateFolder(environment));
    if (createDataFolder && locations.dataFolder != programFolder) {
        // Settings and working files are the user's own; a failure shows
        // later as a settings file that cannot be written, as before.
        std::error_code error;
        const std::filesystem::path dataFolder = PathFromUtf8(locations.dataFolder);
        if (std::filesystem::create_directories(dataFolder, error))
            std::filesystem::permissions(dataFolder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
    }
    return locations;
}

std::string FindResourceFile(const std::vector<std::string>& folders, const std::string& fileName) {
    for (const std::string& folder : folders) {
        std::error_code error;
        const std::string path = folder + fileName;
        if (std::filesystem::is_regular_file(PathFromUtf8(path), error))
            return path;
    }
    return {};
}

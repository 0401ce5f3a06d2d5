#include "common/program_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace {

bool IsAbsoluteFolder(const std::string& folder) { return !folder.empty() && folder.front() == '/'; }

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string HomeOfAccount() {
    const passwd* account = ::getpwuid(::getuid());
    return account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "";
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string ProgramFolderOf(const std::string& programPath) {
    const auto cut = programPath.find_last_of('/');
    if (cut == std::string::npos)
        return {};
    return programPath.substr(0, cut + 1);
}

std::string ResolveProgramPath(const std::string& fallback) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty())
        return fallback;
    return self.string();
}

FileLocations ProgramFolderLocations(const std::string& programFolder) {
    return FileLocations{programFolder, {programFolder}};
}

UserEnvironment UserEnvironment::Current() {
    UserEnvironment environment;
    environment.xdgDataHome = Variable("XDG_DATA_HOME");
    environment.home = Variable("HOME");
    if (environment.home.empty())
        environment.home = HomeOfAccount();
    return environment;
}

std::string UserDataFolder(const UserEnvironment& environment) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
    // directory rules say.
    std::string base;
    if (IsAbsoluteFolder(environment.xdgDataHome))
        base = WithSeparator(environment.xdgDataHome);
    else if (IsAbsoluteFolder(environment.home))
        base = WithSeparator(environment.home) + ".local/share/";
    else
        return {};
    return base + UserDataFolderName + "/";
}

bool FolderIsWritable(const std::string& folder) {
    const std::string path = folder.empty() ? "." : folder;
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

FileLocations ChooseFileLocations(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userDataFolder,
                                  const std::vector<std::string>& installedResourceFolders) {
    FileLocations locations = ProgramFolderLocations(programFolder);
    if (!programFolderWritable && !userDataFolder.empty())
        locations.dataFolder = userDataFolder;
    for (const std::string& folder : installedResourceFolders) {
        const std::string withSeparator = WithSeparator(folder);
        const auto& known = locations.resourceFolders;
        if (!IsAbsoluteFolder(withSeparator) || std::find(known.begin(), known.end(), withSeparator) != known.end())
            continue;
        locations.resourceFolders.push_back(withSeparator);
    }
    return locations;
}

FileLocations ResolveFileLocations(const std::string& programFolder,
                                   const std::vector<std::string>& installedResourceFolders,
                                   const std::string& installedProgramFolder, bool createDataFolder) {
    const bool takesFiles = FolderIsWritable(programFolder) &&
                            (installedProgramFolder.empty() || WithSeparator(installedProgramFolder) != programFolder);
    FileLocations locations = ChooseFileLocations(programFolder, takesFiles,
                                                  UserDataFolder(UserEnvironment::Current()),
                                                  installedResourceFolders);
    if (createDataFolder && locations.dataFolder != programFolder) {
        // Settings and working files are the user's own; a failure shows
        // later as a settings file that cannot be written, as before.
        std::error_code error;
        if (std::filesystem::create_directories(locations.dataFolder, error))
            std::filesystem::permissions(locations.dataFolder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
    }
    return locations;
}

std::string FindResourceFile(const std::vector<std::string>& folders, const std::string& fileName) {
    for (const std::string& folder : folders) {
        std::error_code error;
        const std::string path = folder + fileName;
        if (std::filesystem::is_regular_file(path, error))
            return path;
    }
    return {};
}

#include "updater_locations.h"

FileLocations UpdaterLocations(bool createDataFolder) {
    const std::string programFolder = ProgramFolderOf(ResolveProgramPath(""));
#ifdef ORVO_INSTALLED_PROGRAM_DIR
    const std::string installedProgramFolder = ORVO_INSTALLED_PROGRAM_DIR;
#else
    const std::string installedProgramFolder;
#endif
    return ResolveFileLocations(programFolder, {}, installedProgramFolder, createDataFolder);
}

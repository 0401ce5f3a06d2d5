#include "common/program_folder.h"

#include <filesystem>
#include <system_error>

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

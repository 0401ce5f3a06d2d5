#include "ui/language_library.h"

#include "common/program_folder.h"
#include "ui/language_module_loader.h"
#include "ui/language_table.h"
#include "ui/shared_settings.h"

std::shared_ptr<const LanguageLibrary> LanguageLibrary::Load(const std::string& programFolder,
                                                             const std::string& fileName) {
    // A relative folder would be resolved against the current directory.
    const std::string separators = PathSeparators();
    if (!IsAbsolutePath(programFolder) || separators.find(programFolder.back()) == std::string::npos)
        return nullptr;
    if (fileName.empty() || fileName.find_first_of(separators) != std::string::npos)
        return nullptr;
    const std::string path = programFolder + fileName;
    // Never closed: texts and pictures handed out point into the module.
    auto find = reinterpret_cast<OrvoFindResourceFunction>(LoadModuleFunction(path, ORVO_LANGUAGE_ENTRY_POINT));
    if (find == nullptr)
        return nullptr;
    return std::shared_ptr<const LanguageLibrary>(new LanguageLibrary(path, find));
}

std::optional<std::string> LanguageLibrary::Find(ResourceKind kind, int id, int item) const {
    const char* data = nullptr;
    size_t size = 0;
    if (find_(static_cast<int>(kind), id, item, &data, &size) != 1 || data == nullptr)
        return std::nullopt;
    return std::string(data, size);
}

namespace {

// Switches `resources` to the library of `languageIndex`, or to the built-in
// set when it has none or it cannot be loaded. The program's own folder comes
// first, then the installed ones.
void SwitchResourcesTo(Resources& resources, const std::vector<std::string>& folders, int languageIndex) {
    std::shared_ptr<const LanguageLibrary> library;
    if (const char* file = LanguageLibraryFileFor(languageIndex)) {
        for (const std::string& folder : folders) {
            library = LanguageLibrary::Load(folder, file);
            if (library)
                break;
        }
    }
    resources.Switch(library);
}

}  // namespace

void LoadLanguageLibrary(SharedSettings& settings, Resources& resources) {
    SwitchResourcesTo(resources, settings.ResourceFolders(), settings.TakeLanguageIndexFromFragment());
}

void ApplyLanguage(SharedSettings& settings, Resources& resources, int languageIndex) {
    settings.SetLanguage(languageIndex);
    SwitchResourcesTo(resources, settings.ResourceFolders(), languageIndex);
    settings.SaveSettings();
}

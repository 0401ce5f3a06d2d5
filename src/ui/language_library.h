#pragma once

#include <memory>
#include <string>

#include "ui/language_module_abi.h"
#include "ui/resources.h"

class SharedSettings;

// A language library in force: a shared module that answers resource
// look-ups by id. Once loaded it stays loaded until the program ends, so a
// text or picture it handed out never dangles.
class LanguageLibrary final : public ResourceSource {
public:
    // Loads `fileName` (a bare file name) from `programFolder` only, never from
    // the current directory or a library search path, so a library planted
    // elsewhere cannot load. Null when the folder is not absolute, the file
    // is missing or not a language module.
    static std::shared_ptr<const LanguageLibrary> Load(const std::string& programFolder, const std::string& fileName);

    std::optional<std::string> Find(ResourceKind kind, int id, int item) const override;
    const std::string& Path() const { return path_; }

private:
    LanguageLibrary(std::string path, OrvoFindResourceFunction find) : path_(std::move(path)), find_(find) {}

    std::string path_;
    OrvoFindResourceFunction find_;
};

// Start-up, after LoadSettings: LanguageIndex from the last character of
// LanguageFragment, then that language's library switched into `resources`.
// A missing or unloadable library leaves the built-in English set, silently.
void LoadLanguageLibrary(SharedSettings& settings, Resources& resources);

// A language chosen in the language dialog: resets the selection to the
// language's region, switches `resources` and saves the settings.
void ApplyLanguage(SharedSettings& settings, Resources& resources, int languageIndex);

#include "ui/language_table.h"

const char* LanguageLibraryFileFor(int languageIndex) {
    for (const auto& language : Languages) {
        if (language.languageIndex == languageIndex)
            return language.libraryFile;
    }
    return nullptr;
}

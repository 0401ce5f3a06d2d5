#pragma once

#include <array>

// The languages the user can pick, in the order of the language dialog's
// buttons.
struct LanguageInfo {
    int buttonId;
    int bitmapId;
    const char* name;         // English name, for tests and tools
    const char* nativeName;   // the language's own name (UTF-8): the flag's accessible name and tool tip
    int languageIndex;
    const char* libraryFile;  // loaded from the program folder; null for the built-in English set
};

inline constexpr std::array<LanguageInfo, 7> Languages{{
    {1010, 144, "English", "English", 0, nullptr},
    {1013, 145, "French", "Français", 1, "Lang_FRA.Dll"},
    {1014, 146, "Dutch", "Nederlands", 2, "Lang_DUT.Dll"},
    {1015, 147, "Spanish", "Español", 5, "Lang_SPN.Dll"},
    {1016, 148, "German", "Deutsch", 8, "Lang_GER.Dll"},
    {1017, 149, "Finnish", "Suomi", 3, "Lang_FIN.Dll"},
    {1018, 150, "Swedish", "Svenska", 4, "Lang_SWD.Dll"},
}};

// The library file for a language index; null for English and for indexes
// without a language (6, 7, 9 and any other).
const char* LanguageLibraryFileFor(int languageIndex);

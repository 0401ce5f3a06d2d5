#pragma once

#include <cstddef>

// One translated text of a language module: the resource kind (0 string,
// 1 menu item, 2 dialog item), its id and item, and the UTF-8 text.
struct ModuleText {
    int kind;
    int id;
    int item;
    const char* text;
};

// Each language's source file defines its table.
extern const ModuleText ModuleTexts[];
extern const std::size_t ModuleTextCount;

// Keys shared by every table, named as in the English set.
namespace ModuleKey {
inline constexpr int String = 0;
inline constexpr int Menu = 1;
inline constexpr int Dialog = 2;
}  // namespace ModuleKey

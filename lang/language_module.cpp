// The entry point every language module exports; the texts come from the
// language's own table, the flags are drawn by the same code as the built-in
// set's.

#include <array>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "language_module.h"
#include "ui/flag_pictures.h"
#include "ui/language_module_abi.h"

namespace {

constexpr int BitmapKind = 3;
constexpr int FirstFlag = 144;
constexpr int LastFlag = 150;

// Drawn once, on first use; the bytes stay put while the module is loaded.
const std::string& Flag(int id) {
    static std::array<std::string, LastFlag - FirstFlag + 1> flags;
    static std::once_flag drawn;
    std::call_once(drawn, [] {
        for (int flag = FirstFlag; flag <= LastFlag; ++flag)
            flags[static_cast<std::size_t>(flag - FirstFlag)] = FlagBitmap(flag);
    });
    return flags[static_cast<std::size_t>(id - FirstFlag)];
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int OrvoFindResource(int kind, int id, int item,
                                                                       const char** data, size_t* size) {
    if (data == nullptr || size == nullptr)
        return 0;
    if (kind == BitmapKind) {
        if (id < FirstFlag || id > LastFlag || item != 0)
            return 0;
        const std::string& flag = Flag(id);
        *data = flag.data();
        *size = flag.size();
        return 1;
    }
    for (std::size_t i = 0; i < ModuleTextCount; ++i) {
        const ModuleText& entry = ModuleTexts[i];
        if (entry.kind == kind && entry.id == id && entry.item == item) {
            *data = entry.text;
            *size = std::strlen(entry.text);
            return 1;
        }
    }
    return 0;
}

// Checked here so a change of the shared function type breaks the build.
static_assert(std::is_same_v<decltype(&OrvoFindResource), OrvoFindResourceFunction>);

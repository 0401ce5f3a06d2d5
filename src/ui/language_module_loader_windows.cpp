#include "ui/language_module_loader.h"

#include "common/windows_support.h"

void* LoadModuleFunction(const std::string& path, const char* name) {
    // An absolute path, and none of the libraries it needs is looked for in
    // the current folder or on PATH.
    const HMODULE module =
        ::LoadLibraryExW(WidePath(path).c_str(), nullptr,
                         LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(module, name));
}

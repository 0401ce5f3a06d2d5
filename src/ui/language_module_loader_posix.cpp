#include "ui/language_module_loader.h"

#include <dlfcn.h>

void* LoadModuleFunction(const std::string& path, const char* name) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr ? ::dlsym(handle, name) : nullptr;
}

#include "ui/builtin_resource_tables.h"

std::optional<std::string> FindBuiltInResource(ResourceKind kind, int id, int item) {
    const ResourceKey key{kind, id, item};
    for (const ResourceTable* table : {&BuiltInStringTable(), &BuiltInDialogTable(), &BuiltInPictureTable()}) {
        if (const auto it = table->find(key); it != table->end())
            return it->second;
    }
    return std::nullopt;
}

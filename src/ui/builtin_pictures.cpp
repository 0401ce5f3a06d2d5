#include "ui/builtin_resource_tables.h"

const ResourceTable& BuiltInPictureTable() {
    static const ResourceTable table{};
    return table;
}

#include "ui/builtin_resource_tables.h"

const ResourceTable& BuiltInStringTable() {
    static const ResourceTable table{};
    return table;
}

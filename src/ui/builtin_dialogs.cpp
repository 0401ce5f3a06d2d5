#include "ui/builtin_resource_tables.h"

const ResourceTable& BuiltInDialogTable() {
    static const ResourceTable table{};
    return table;
}

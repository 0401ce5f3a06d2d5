#include "ui/builtin_resource_tables.h"
#include "ui/flag_pictures.h"

// The flags of the language dialog, bitmaps 144 to 150.
const ResourceTable& BuiltInPictureTable() {
    static const ResourceTable table = [] {
        ResourceTable pictures;
        for (int id = 144; id <= 150; ++id)
            pictures[{ResourceKind::Bitmap, id, 0}] = FlagBitmap(id);
        return pictures;
    }();
    return table;
}

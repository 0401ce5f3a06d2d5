#include "ui/builtin_resource_tables.h"
#include "ui/dialog_templates.h"
#include "ui/region_table.h"

namespace {

ResourceKey Item(int dialog, int control) { return {ResourceKind::DialogItem, dialog, control}; }

}  // namespace

// The English texts of dialog templates 130 and 131.
const ResourceTable& BuiltInDialogTable() {
    using namespace DialogTemplate;
    static const ResourceTable table = [] {
        ResourceTable texts{
            {Item(Language, Caption), "Language"},
            {Item(Language, OkButton), "OK"},
            {Item(Language, CancelButton), "Cancel"},
            {Item(DownloadSetting, Caption), "Orvo Safety Camera Download Setting"},
            {Item(DownloadSetting, OkButton), "OK"},
            {Item(DownloadSetting, CancelButton), "Cancel"},
            {Item(DownloadSetting, DownloadSizeLabel), "Download Size:"},
            {Item(DownloadSetting, DownloadNote),
             "Tick the downloads you want to receive the next time you update your Orvo.\nNote: This download is "
             "for Safety Camera or UK Schools data only and does not contain any mapping data."},
        };
        for (const auto& region : Regions)
            texts[Item(DownloadSetting, region.checkBoxId)] = region.label;
        return texts;
    }();
    return table;
}

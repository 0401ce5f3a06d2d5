#include "win32/template_dialogs.h"

#include "ui/dialog_templates.h"
#include "ui/language_table.h"
#include "ui/region_table.h"
#include "ui/resources.h"

namespace {

using namespace DialogBytes;

constexpr std::uint32_t DialogStyle = Popup | Caption | SystemMenu | ModalFrame | SetFont | CentreOnOwner;
constexpr std::uint32_t ChildStyle = Child | Visible;

Dialog Frame(const Resources& resources, int templateId, const DialogTemplate::UnitRect& size) {
    Dialog dialog;
    dialog.style = DialogStyle;
    dialog.width = static_cast<std::int16_t>(size.width);
    dialog.height = static_cast<std::int16_t>(size.height);
    dialog.caption = resources.Text(ResourceKind::DialogItem, templateId, DialogTemplate::Caption);
    dialog.pointSize = DialogTemplate::PointSize;
    dialog.typeface = DialogTemplate::FontFamily;
    return dialog;
}

Control Place(Control control, const DialogTemplate::UnitRect& rect) {
    control.x = static_cast<std::int16_t>(rect.x);
    control.y = static_cast<std::int16_t>(rect.y);
    control.width = static_cast<std::int16_t>(rect.width);
    control.height = static_cast<std::int16_t>(rect.height);
    return control;
}

std::string ItemText(const Resources& resources, int templateId, int item) {
    return resources.Text(ResourceKind::DialogItem, templateId, item);
}

}  // namespace

Dialog LanguageDialogTemplate(const Resources& resources) {
    using namespace DialogTemplate;
    Dialog dialog = Frame(resources, Language, LanguageSize);
    // The flags first, so the first of them has the focus and Tab walks them
    // in the table's order. Each carries its language's own name: the button
    // shows only its picture, and the name is what a screen reader says.
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        Control flag{static_cast<std::uint32_t>(Languages[i].buttonId), ControlClass::Button,
                     ChildStyle | TabStop | PushButton | BitmapButton, 0, 0, 0, 0, Languages[i].nativeName};
        if (i == 0)
            flag.style |= Group;
        dialog.controls.push_back(Place(flag, FlagButtons[i]));
    }
    // Present for the template's sake and never shown: a flag is the only choice.
    dialog.controls.push_back(Place({static_cast<std::uint32_t>(OkButton), ControlClass::Button,
                                     Child | DefaultPushButton, 0, 0, 0, 0,
                                     ItemText(resources, Language, OkButton)},
                                    LanguageOk));
    dialog.controls.push_back(Place({static_cast<std::uint32_t>(CancelButton), ControlClass::Button,
                                     Child | PushButton, 0, 0, 0, 0, ItemText(resources, Language, CancelButton)},
                                    LanguageCancel));
    return dialog;
}

Dialog DownloadSettingDialogTemplate(const Resources& resources) {
    using namespace DialogTemplate;
    Dialog dialog = Frame(resources, DownloadSetting, DownloadSettingSize);
    dialog.controls.push_back(Place({NoControlId, ControlClass::Static, ChildStyle | LeftStatic, 0, 0, 0, 0,
                                     ItemText(resources, DownloadSetting, DownloadNote)},
                                    DownloadNoteRect));
    for (int region = 0; region < RegionCount; ++region) {
        const auto slot = static_cast<std::size_t>(region);
        std::uint32_t style = ChildStyle | TabStop | AutoThreeState;
        if (region == 0)
            style |= Group;
        if (region == MultiLineRegion)
            style |= MultiLineButton;
        dialog.controls.push_back(Place({static_cast<std::uint32_t>(Regions[slot].checkBoxId), ControlClass::Button,
                                         style, 0, 0, 0, 0,
                                         ItemText(resources, DownloadSetting, Regions[slot].checkBoxId)},
                                        RegionBoxes[slot]));
    }
    dialog.controls.push_back(Place({NoControlId, ControlClass::Static, ChildStyle | LeftStatic | Group, 0, 0, 0, 0,
                                     ItemText(resources, DownloadSetting, DownloadSizeLabel)},
                                    DownloadSizeLabelRect));
    dialog.controls.push_back(Place({static_cast<std::uint32_t>(SizeEditBox), ControlClass::Edit,
                                     ChildStyle | TabStop | Border | ReadOnlyEdit | AutoHScrollEdit, 0, 0, 0, 0, ""},
                                    SizeEdit));
    dialog.controls.push_back(Place({static_cast<std::uint32_t>(OkButton), ControlClass::Button,
                                     ChildStyle | TabStop | Group | DefaultPushButton, 0, 0, 0, 0,
                                     ItemText(resources, DownloadSetting, OkButton)},
                                    DownloadOk));
    dialog.controls.push_back(Place({static_cast<std::uint32_t>(CancelButton), ControlClass::Button,
                                     ChildStyle | TabStop | PushButton, 0, 0, 0, 0,
                                     ItemText(resources, DownloadSetting, CancelButton)},
                                    DownloadCancel));
    return dialog;
}

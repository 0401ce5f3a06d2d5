#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/language_table.h"
#include "ui/region_table.h"
#include "ui/resources.h"
#include "win32/dialog_template_bytes.h"
#include "win32/template_dialogs.h"

using namespace DialogBytes;

namespace {

// Reads a template back the way the dialog manager walks it.
struct ParsedControl {
    std::uint32_t id;
    std::uint32_t style;
    std::uint16_t classAtom;
    std::u16string className;
    std::u16string text;
    std::size_t offset;
};

class TemplateReader {
public:
    explicit TemplateReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint16_t Word() {
        const auto value = static_cast<std::uint16_t>(bytes_.at(at_) | (bytes_.at(at_ + 1) << 8));
        at_ += 2;
        return value;
    }
    std::uint32_t DoubleWord() {
        const std::uint32_t low = Word();
        return low | (static_cast<std::uint32_t>(Word()) << 16);
    }
    std::u16string Text() {
        std::u16string text;
        for (std::uint16_t unit = Word(); unit != 0; unit = Word())
            text.push_back(static_cast<char16_t>(unit));
        return text;
    }
    void Skip(std::size_t count) { at_ += count; }
    void Align() { at_ = (at_ + 3) & ~std::size_t{3}; }
    std::size_t At() const { return at_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

std::vector<ParsedControl> ReadControls(const std::vector<std::uint8_t>& bytes, std::u16string& caption) {
    TemplateReader in(bytes);
    EXPECT_EQ(in.Word(), 1);
    EXPECT_EQ(in.Word(), 0xFFFF);
    in.Skip(8);
    const std::uint32_t style = in.DoubleWord();
    const std::uint16_t count = in.Word();
    in.Skip(8);
    EXPECT_EQ(in.Word(), 0);  // menu
    EXPECT_EQ(in.Word(), 0);  // class
    caption = in.Text();
    if ((style & SetFont) != 0) {
        in.Skip(6);
        in.Text();
    }
    std::vector<ParsedControl> controls;
    for (int i = 0; i < count; ++i) {
        in.Align();
        ParsedControl control{};
        control.offset = in.At();
        in.Skip(8);
        control.style = in.DoubleWord();
        in.Skip(8);
        control.id = in.DoubleWord();
        const std::uint16_t first = in.Word();
        if (first == 0xFFFF) {
            control.classAtom = in.Word();
        } else {
            control.className.push_back(static_cast<char16_t>(first));
            control.className += in.Text();
        }
        control.text = in.Text();
        EXPECT_EQ(in.Word(), 0);  // creation data
        controls.push_back(control);
    }
    EXPECT_EQ(in.At(), bytes.size()) << "bytes after the last control";
    return controls;
}

class OneTextSource : public ResourceSource {
public:
    std::optional<std::string> Find(ResourceKind kind, int id, int item) const override {
        if (kind == ResourceKind::DialogItem && id == DialogTemplate::DownloadSetting && item == 0)
            return std::string("Download-Einstellung");
        return std::nullopt;
    }
};

}  // namespace

TEST(DialogTemplateBytes, HeaderFontAndControlAreLaidOutAsTheDialogManagerReadsThem) {
    Dialog dialog;
    dialog.style = Popup | Caption | SetFont;
    dialog.x = 1, dialog.y = 2, dialog.width = 30, dialog.height = 40;
    dialog.caption = "H\xC3\xA9";  // "Hé"
    dialog.typeface = "Arial";
    dialog.controls.push_back({7, ControlClass::Button, Child | Visible | TabStop, 3, 4, 5, 6, "OK"});

    const std::vector<std::uint8_t> expected{
        0x01, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x00, 0xC0, 0x80,  // version, help, ex, style
        0x01, 0x00, 0x01, 0x00, 0x02, 0x00, 0x1E, 0x00, 0x28, 0x00,              // count, x, y, cx, cy
        0x00, 0x00, 0x00, 0x00,                                                  // no menu, standard class
        0x48, 0x00, 0xE9, 0x00, 0x00, 0x00,                                      // caption
        0x08, 0x00, 0x90, 0x01, 0x00, 0x01,                                      // 8 pt, weight 400, charset 1
        'A', 0, 'r', 0, 'i', 0, 'a', 0, 'l', 0, 0, 0,                            // typeface
        0x00, 0x00,                                                              // pad to a double word
        0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x50,                          // help, ex, style
        0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x00, 0x00,  // place, id
        0xFF, 0xFF, 0x80, 0x00, 'O', 0, 'K', 0, 0, 0, 0x00, 0x00,                // button atom, text, no data
    };
    EXPECT_EQ(Write(dialog), expected);

    // A common control is named by its class; the next control still starts on a double word.
    dialog.controls.insert(dialog.controls.begin(),
                           {9, ControlClass::Static, Child, 0, 0, 1, 1, "", "SysListView32"});
    std::u16string caption;
    const auto controls = ReadControls(Write(dialog), caption);
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].className, u"SysListView32");
    EXPECT_EQ(controls[1].classAtom, 0x0080);
    EXPECT_EQ(controls[1].text, u"OK");
    EXPECT_EQ(controls[1].offset % 4, 0u);
}

TEST(DialogTemplateBytes, TextsBecomeUtf16AndMalformedInputNeverReadsPastItsEnd) {
    EXPECT_EQ(Utf16("P\xC3\xA4ivitys \xE2\x80\x94 \xF0\x9F\x98\x80"), u"P\u00e4ivitys \u2014 \U0001F600");
    EXPECT_EQ(Utf16("a\xC3"), u"a\uFFFD");             // cut after the lead byte
    EXPECT_EQ(Utf16("\xE2\x82"), u"\uFFFD");           // cut in the middle
    EXPECT_EQ(Utf16("\xC0\xAF" "b"), u"\uFFFD" "b");   // overlong '/'
    EXPECT_EQ(Utf16("\xED\xA0\x80"), u"\uFFFD");       // an encoded surrogate
    EXPECT_EQ(Utf16("\xFF" "c"), u"\uFFFD" "c");
    EXPECT_EQ(Utf8(u"\u00c5 \U0001F600"), "\xC3\x85 \xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(TemplateDialogs, LanguageDialogHasTheFlagsInTableOrderAndHidesOkAndCancel) {
    Resources resources;
    std::u16string caption;
    const auto controls = ReadControls(Write(LanguageDialogTemplate(resources)), caption);
    EXPECT_EQ(caption, u"Language");
    ASSERT_EQ(controls.size(), Languages.size() + 2);
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        EXPECT_EQ(controls[i].id, static_cast<std::uint32_t>(Languages[i].buttonId));
        EXPECT_EQ(controls[i].classAtom, 0x0080);
        EXPECT_NE(controls[i].style & BitmapButton, 0u);
        EXPECT_NE(controls[i].style & (Visible | TabStop), 0u);
        EXPECT_EQ(controls[i].text, Utf16(Languages[i].nativeName));
        EXPECT_EQ(controls[i].offset % 4, 0u);
    }
    for (std::size_t i = Languages.size(); i < controls.size(); ++i)
        EXPECT_EQ(controls[i].style & Visible, 0u) << "control " << controls[i].id;
    EXPECT_EQ(controls[Languages.size()].id, 1u);
    EXPECT_NE(controls[Languages.size()].style & DefaultPushButton, 0u);
}

TEST(TemplateDialogs, DownloadSettingDialogTakesItsTextsFromTheLanguageInForce) {
    Resources resources;
    resources.Switch(std::make_shared<OneTextSource>());
    const Dialog dialog = DownloadSettingDialogTemplate(resources);
    std::u16string caption;
    const auto controls = ReadControls(Write(dialog), caption);
    EXPECT_EQ(caption, u"Download-Einstellung");
    // note, seven regions, size label, size, OK, Cancel
    ASSERT_EQ(controls.size(), 12u);
    for (int region = 0; region < RegionCount; ++region) {
        const ParsedControl& box = controls[static_cast<std::size_t>(region) + 1];
        EXPECT_EQ(box.id, static_cast<std::uint32_t>(Regions[static_cast<std::size_t>(region)].checkBoxId));
        EXPECT_EQ(box.style & 0xF, AutoThreeState);
        EXPECT_EQ((box.style & MultiLineButton) != 0, region == DialogTemplate::MultiLineRegion);
        // A text the language lacks falls back to the English one.
        EXPECT_EQ(box.text, Utf16(Regions[static_cast<std::size_t>(region)].label));
    }
    EXPECT_EQ(controls[9].id, static_cast<std::uint32_t>(DialogTemplate::SizeEditBox));
    EXPECT_EQ(controls[9].classAtom, 0x0081);
    EXPECT_NE(controls[9].style & ReadOnlyEdit, 0u);
    EXPECT_EQ(controls[10].id, 1u);
    EXPECT_EQ(controls[11].id, 2u);
    const Control& ok = dialog.controls[10];
    EXPECT_EQ(ok.x, DialogTemplate::DownloadOk.x);
    EXPECT_EQ(ok.y, DialogTemplate::DownloadOk.y);
    EXPECT_EQ(ok.width, DialogTemplate::DownloadOk.width);
    EXPECT_EQ(ok.height, DialogTemplate::DownloadOk.height);
}

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

#include "ui/builtin_resource_tables.h"
#include "ui/language_library.h"
#include "ui/language_table.h"
#include "ui/settings_fixture.h"

namespace {

const std::string BinDir = std::string(ORVO_TEST_BIN_DIR) + "/";

std::vector<ResourceKey> BuiltInKeys() {
    std::vector<ResourceKey> keys;
    for (const ResourceTable* table : {&BuiltInStringTable(), &BuiltInDialogTable(), &BuiltInPictureTable()}) {
        for (const auto& entry : *table)
            keys.push_back(entry.first);
    }
    return keys;
}

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// Texts that are the same in some languages as in English.
bool MayMatchEnglish(const ResourceKey& key) {
    const auto& [kind, id, item] = key;
    return kind == ResourceKind::Bitmap || id == 57344 || (kind == ResourceKind::DialogItem && item == 1) ||
           (kind == ResourceKind::MenuItem && item == 0) || (kind == ResourceKind::String && id == 171) ||
           (kind == ResourceKind::DialogItem && (item == 1001 || item == 1003 || item == 1004 || item == 1005));
}

TEST(LanguageLibraries, EveryLibraryAnswersEveryBuiltInId) {
    const auto keys = BuiltInKeys();
    ASSERT_EQ(keys.size(), 106u) << "strings 76, menu 8, dialog items 15, flags 7";
    for (const auto& language : Languages) {
        if (language.libraryFile == nullptr)
            continue;
        const auto library = LanguageLibrary::Load(BinDir, language.libraryFile);
        ASSERT_NE(library, nullptr) << language.libraryFile;
        int translated = 0;
        for (const auto& key : keys) {
            const auto& [kind, id, item] = key;
            const auto text = library->Find(kind, id, item);
            ASSERT_TRUE(text.has_value()) << language.name << " lacks kind " << static_cast<int>(kind) << " id "
                                          << id << " item " << item;
            EXPECT_FALSE(text->empty());
            const auto english = BuiltInResources().Find(kind, id, item);
            if (!MayMatchEnglish(key)) {
                EXPECT_NE(*text, *english) << language.name << " id " << id << " item " << item;
            }
            translated += *text != *english;
        }
        EXPECT_GT(translated, 25) << language.name;
        // Nothing the built-in set lacks: 103 and 108 stay without text.
        EXPECT_FALSE(library->Find(ResourceKind::String, 103, 0).has_value());
        EXPECT_FALSE(library->Find(ResourceKind::String, 108, 0).has_value());
    }
}

// A translation without the value's place would drop the status, folder or
// host from the download error box.
TEST(LanguageLibraries, KeepTheValueInTheDownloadCauseLines) {
    for (const auto& language : Languages) {
        if (language.libraryFile == nullptr)
            continue;
        const auto library = LanguageLibrary::Load(BinDir, language.libraryFile);
        ASSERT_NE(library, nullptr);
        for (int id : {118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 129}) {
            const std::string english = *BuiltInResources().Find(ResourceKind::String, id, 0);
            const std::string text = library->Find(ResourceKind::String, id, 0).value_or("");
            const bool englishHasValue = english.find("%1") != std::string::npos;
            EXPECT_EQ(text.find("%1") != std::string::npos, englishHasValue) << language.name << " " << id;
            EXPECT_EQ(text.find('\n'), std::string::npos) << language.name << " " << id << " is one line";
        }
        // The history's, the log's and the restore's texts name a file, a reason or a serial.
        for (int id : {140, 141, 161, 164, 169, 172})
            EXPECT_NE(library->Find(ResourceKind::String, id, 0).value_or("").find("%1"), std::string::npos)
                << language.name << " " << id;
    }
}

// Digits are grouped as each language groups them; a language that groups
// with a space uses a no-break one, so that a wrapped line never splits a
// number. The toolkit's translation is named by the language's own code.
TEST(LanguageLibraries, GroupDigitsAndNameTheToolkitLocaleAsTheLanguageDoes) {
    const struct {
        const char* file;
        const char* separator;
        const char* locale;
    } cases[] = {{"Lang_GER.Dll", ".", "de"},         {"Lang_DUT.Dll", ".", "nl"},
                 {"Lang_SPN.Dll", ".", "es"},         {"Lang_FRA.Dll", "\u00A0", "fr"},
                 {"Lang_FIN.Dll", "\u00A0", "fi"}, {"Lang_SWD.Dll", "\u00A0", "sv"}};
    for (const auto& language : cases) {
        const auto library = LanguageLibrary::Load(BinDir, language.file);
        ASSERT_NE(library, nullptr) << language.file;
        EXPECT_EQ(library->Find(ResourceKind::String, 133, 0), language.separator) << language.file;
        EXPECT_EQ(library->Find(ResourceKind::String, 178, 0), language.locale) << language.file;
        // The questions' buttons keep an access key.
        for (int id : {170, 171})
            EXPECT_NE(library->Find(ResourceKind::String, id, 0).value_or("").find('&'), std::string::npos)
                << language.file << " " << id;
    }
}

TEST(LanguageLibraries, KeepTheEnglishLineStructureOfTheStatusTexts) {
    for (const auto& language : Languages) {
        if (language.libraryFile == nullptr)
            continue;
        const auto library = LanguageLibrary::Load(BinDir, language.libraryFile);
        ASSERT_NE(library, nullptr);
        for (int id : {105, 106, 111, 117, 200}) {
            const std::string english = *BuiltInResources().Find(ResourceKind::String, id, 0);
            const std::string text = *library->Find(ResourceKind::String, id, 0);
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(english.begin(), english.end(), '\n'))
                << language.name << " " << id;
        }
        const std::string menu = *library->Find(ResourceKind::MenuItem, 128, 32771);
        EXPECT_NE(menu.find('\t'), std::string::npos) << language.name;
        EXPECT_NE(library->Find(ResourceKind::String, 113, 0)->find("Varnet"), std::string::npos) << language.name;
    }
}

TEST(LanguageLibraries, FlagsAreSixteenColourPicturesOfTheTablesSizes) {
    const Resources resources;
    for (int id = 144; id <= 150; ++id) {
        const std::string bmp = resources.Text(ResourceKind::Bitmap, id);
        ASSERT_GT(bmp.size(), 54u) << id;
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(Read32(bmp, 2), bmp.size());
        EXPECT_EQ(Read32(bmp, 18), id == 144 ? 150u : 151u);
        EXPECT_EQ(Read32(bmp, 22), 87u);
        EXPECT_EQ(bmp[28], 4) << "4 bits per pixel";
    }
    const auto german = LanguageLibrary::Load(BinDir, "Lang_GER.Dll");
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(german->Find(ResourceKind::Bitmap, 148, 0), BuiltInResources().Find(ResourceKind::Bitmap, 148, 0));
    EXPECT_FALSE(german->Find(ResourceKind::Bitmap, 151, 0).has_value());
}

TEST(LanguageLibraries, LoadOnlyFromAnAbsoluteProgramFolder) {
    EXPECT_EQ(LanguageLibrary::Load("", "Lang_GER.Dll"), nullptr);
    EXPECT_EQ(LanguageLibrary::Load("./", "Lang_GER.Dll"), nullptr);
    EXPECT_EQ(LanguageLibrary::Load("bin/", "Lang_GER.Dll"), nullptr);
    EXPECT_EQ(LanguageLibrary::Load(BinDir, "../bin/Lang_GER.Dll"), nullptr);
    // A library in the current directory is not found through an empty
    // program folder, nor through the library search path.
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(ORVO_TEST_BIN_DIR), 0);
    SharedSettings settings(ProgramFolderLocations(ProgramFolderOf("orvo-updater")));
    Resources resources;
    settings.SetLanguage(8);
    LoadLanguageLibrary(settings, resources);
    EXPECT_EQ(resources.InForce(), nullptr);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    SettingsFixture planted("language_planted");
    std::ofstream(planted.folder.File("Lang_FRA.Dll")) << "not a shared module";
    EXPECT_EQ(LanguageLibrary::Load(planted.folder.Path().string() + "/", "Lang_FRA.Dll"), nullptr);
}

// An installed copy: the program folder holds no library and may not be
// written; the library comes from the installed folder by its absolute path,
// and the choice is saved in the user's data folder.
TEST(LanguageLibraries, InstalledCopyLoadsFromTheInstalledFolderAndSavesInTheDataFolder) {
    ScratchFolder program("language_installed_program");
    ScratchFolder data("language_installed_data");
    const FileLocations locations{data.File(""), {program.File(""), BinDir}};
    SharedSettings settings(locations);
    Resources resources;

    ApplyLanguage(settings, resources, 8);
    const auto* library = dynamic_cast<const LanguageLibrary*>(resources.InForce().get());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->Path(), BinDir + "Lang_GER.Dll");
    EXPECT_TRUE(std::filesystem::exists(data.File("tessell")));
    EXPECT_FALSE(std::filesystem::exists(program.File("tessell")));

    // A copy beside the program comes first.
    std::filesystem::copy_file(BinDir + "Lang_GER.Dll", program.File("Lang_GER.Dll"));
    settings.LoadSettings([] { FAIL() << "the saved choice must be found"; });
    LoadLanguageLibrary(settings, resources);
    library = dynamic_cast<const LanguageLibrary*>(resources.InForce().get());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->Path(), program.File("Lang_GER.Dll"));
}

class Languages_ : public ::testing::Test, protected SettingsFixture {
protected:
    Languages_() : SettingsFixture("language") {}
};

TEST_F(Languages_, StartUpLoadsTheStoredLanguagesLibrary) {
    InstallLibrary("Lang_FIN.Dll");
    WriteSettings("&o=3\n&c=5\n20\n");
    settings.LoadSettings(nullptr);
    LoadLanguageLibrary(settings, resources);
    EXPECT_EQ(settings.LanguageIndex, 3);
    EXPECT_EQ(resources.String(104), "Orvo-ohjelmiston asetukset");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 57665), "&Lopeta\tCtrl+X");
    settings.ComputeDownloadSize();
    EXPECT_EQ(settings.RegionSelection()[5], RegionLocked);
}

TEST_F(Languages_, AMissingLibraryGivesEnglishButStoresTheChoice) {
    ApplyLanguage(settings, resources, 4);  // Swedish, not installed
    EXPECT_EQ(resources.InForce(), nullptr);
    EXPECT_EQ(resources.String(104), "Orvo software configuration");
    EXPECT_EQ(SettingsLines().at(0), "&o=4");
    EXPECT_EQ(SettingsLines().at(1), "&c=5");
}

TEST_F(Languages_, ChoosingEnglishWhileGermanIsInForceReturnsToTheBuiltInSet) {
    InstallLibrary("Lang_GER.Dll");
    ApplyLanguage(settings, resources, 8);
    EXPECT_EQ(resources.String(115), "Aktualisierung erfolgreich !");
    settings.ApplyRegionStates({1, 1, 0, 1, 2, 0, 1});
    ApplyLanguage(settings, resources, 0);
    EXPECT_EQ(resources.String(115), "Upgrade successful !");
    EXPECT_EQ(SettingsLines().at(0), "&o=0");
    EXPECT_EQ(SettingsLines().at(1), "&c=0") << "the selection resets to the language's region";
}

TEST_F(Languages_, AnIdTheLibraryLacksFallsBackToEnglish) {
    InstallLibrary("Lang_SPN.Dll");
    ApplyLanguage(settings, resources, 5);
    EXPECT_EQ(resources.String(104), "Configuración del software Orvo");
    EXPECT_EQ(resources.String(108), "");
    EXPECT_EQ(resources.Text(ResourceKind::DialogItem, 131, 9999), "");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 32772), "&Descargas de radares Orvo");

    // Every shipped library answers every built-in id, so hide some of the
    // Spanish ones: those, and only those, come in English.
    class SpanishWithGaps : public ResourceSource {
    public:
        explicit SpanishWithGaps(std::shared_ptr<const ResourceSource> spanish) : spanish_(std::move(spanish)) {}
        std::optional<std::string> Find(ResourceKind kind, int id, int item) const override {
            if ((kind == ResourceKind::String && id == 115) || (kind == ResourceKind::MenuItem && item == 57665))
                return std::nullopt;
            return spanish_->Find(kind, id, item);
        }

    private:
        std::shared_ptr<const ResourceSource> spanish_;
    };
    const auto spanish = resources.InForce();
    ASSERT_NE(spanish, nullptr);
    resources.Switch(std::make_shared<SpanishWithGaps>(spanish));
    EXPECT_EQ(resources.String(115), "Upgrade successful !");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 57665), "E&xit\tCtrl+X");
    EXPECT_EQ(resources.String(104), "Configuración del software Orvo");
    EXPECT_EQ(resources.String(108), "");
}

// A language that lacks a text (a library made for an older program) shows
// the English one instead of an empty menu item.
TEST(ResourceLookUp, ATextTheLanguageLacksComesFromTheBuiltInSet) {
    struct TitleOnly final : ResourceSource {
        std::optional<std::string> Find(ResourceKind kind, int id, int) const override {
            if (kind == ResourceKind::String && id == 104)
                return "Titel";
            return std::nullopt;
        }
    };
    Resources resources;
    resources.Switch(std::make_shared<TitleOnly>());
    EXPECT_EQ(resources.String(104), "Titel");
    EXPECT_EQ(resources.Text(ResourceKind::MenuItem, 128, 32772),
              *BuiltInResources().Find(ResourceKind::MenuItem, 128, 32772));
    EXPECT_FALSE(resources.Text(ResourceKind::MenuItem, 128, 32772).empty());
    resources.Switch(nullptr);
    EXPECT_EQ(resources.String(104), "Orvo software configuration");
}

// Each resources object has its own language: switching one leaves another
// in the same process as it was.
TEST(ResourceLookUp, TwoResourceObjectsAnswerIndependently) {
    const auto german = LanguageLibrary::Load(BinDir, "Lang_GER.Dll");
    ASSERT_NE(german, nullptr);
    Resources switched;
    const Resources english;
    switched.Switch(german);
    EXPECT_EQ(switched.String(115), "Aktualisierung erfolgreich !");
    EXPECT_EQ(english.String(115), "Upgrade successful !");
    EXPECT_EQ(english.InForce(), nullptr);
    const auto lookUp = switched.StringLookup();
    EXPECT_EQ(lookUp(115), "Aktualisierung erfolgreich !");
}

// Within one menu no two items share a keyboard mnemonic, in any language:
// a shared one would make Alt+letter pick the wrong command.
TEST(LanguageLibraries, MenuMnemonicsAreDistinctInEveryLanguage) {
    for (const auto& language : Languages) {
        std::shared_ptr<const LanguageLibrary> ownLibrary;
        const ResourceSource* source = &BuiltInResources();
        if (language.libraryFile != nullptr) {
            ownLibrary = LanguageLibrary::Load(BinDir, language.libraryFile);
            ASSERT_NE(ownLibrary, nullptr) << language.name;
            source = ownLibrary.get();
        }
        std::set<std::string> mnemonics;
        for (int command : {32771, 32772, 32780, 32781, 32782, 32783, 57665}) {
            const std::string text = *source->Find(ResourceKind::MenuItem, 128, command);
            const auto amp = text.find('&');
            ASSERT_NE(amp, std::string::npos) << language.name << " " << command;
            ASSERT_LT(amp + 1, text.size());
            // The letter after '&', lower-cased when it is plain ASCII; a
            // multibyte letter is compared by its bytes.
            std::string letter = text.substr(amp + 1, static_cast<unsigned char>(text[amp + 1]) < 0x80 ? 1 : 2);
            if (letter.size() == 1)
                letter[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(letter[0])));
            EXPECT_TRUE(mnemonics.insert(letter).second) << language.name << " repeats '" << letter << "'";
        }
    }
}

}  // namespace

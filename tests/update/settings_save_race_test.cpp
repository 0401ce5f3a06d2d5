#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ui/language_library.h"
#include "ui/settings_file.h"
#include "ui/settings_fixture.h"

namespace {

// Lives with the update tests so the ThreadSanitizer run covers it.
// The worker saves before each download while the UI thread clicks boxes,
// saves from a dialog and switches languages: every file read back in the
// meantime is whole, and the values never tear (run under ThreadSanitizer).
TEST(SettingsConcurrency, WorkerAndDialogSavesNeverTearTheFile) {
    SettingsFixture fixture("settings_threads");
    SharedSettings& settings = fixture.settings;
    Resources& resources = fixture.resources;
    fixture.InstallLibrary("Lang_GER.Dll");
    settings.SaveSettings();

    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            settings.SaveSettings();
            // The worker's next status text, while the UI thread switches languages.
            EXPECT_FALSE(resources.String(105).empty());
        }
        done = true;
    });
    std::thread reader([&] {
        while (!done) {
            const auto text = ReadSettingsFile(fixture.SettingsPath());
            ASSERT_TRUE(text.has_value()) << "the file is replaced, never missing";
            const auto values = ParseSettingsText(*text);
            ASSERT_TRUE(values.has_value());
            EXPECT_TRUE(values->regionSizes[6].has_value()) << "a whole file has all ten lines: " << *text;
        }
    });
    for (int i = 0; !done; ++i) {
        const std::int32_t tick = i % 2;
        settings.ApplyRegionStates({tick, 1 - tick, tick, 0, 0, 1, 0});
        settings.SaveSettings();
        if (i % 50 == 0)
            ApplyLanguage(settings, resources, i % 100 == 0 ? 8 : 0);
    }
    worker.join();
    reader.join();
    const auto values = ParseSettingsText(*ReadSettingsFile(fixture.SettingsPath()));
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->regionFragment, settings.RegionFragment());
}

}  // namespace

#include <gtest/gtest.h>

#include <QImage>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "settings_dialog_fixture.h"
#include "ui/language_table.h"
#include "qt/skin_progress_ctrl.h"

namespace {

// Whether any pixel of column `x` between `top` and `bottom` is lit.
bool ColumnLit(const QImage& image, int x, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        if (qGray(image.pixel(x, y)) > 64)
            return true;
    }
    return false;
}

// Every status text of every language keeps both ends of its lines inside
// the view's status rectangle: a clipped line would light its edge columns.
TEST(LanguageStatusText, NoLineLosesItsEndsInAnyLanguage) {
    DialogFixture fixture("language_status");
    for (const auto& language : Languages) {
        ApplyLanguage(fixture.settings, fixture.resources, fixture.device, language.languageIndex);
        UpdaterServices services;
        CSkinProgressCtrl bar;
        CMainFrame frame(fixture.device, bar, services, fixture.resources);
        frame.View().OnInitialUpdate();
        const PixelRect& status = frame.View().Layout().statusRect;
        for (int id : {105, 106, 109, 110, 111, 112, 115}) {
            fixture.device.StatusText.Set(fixture.resources.String(id));
            const QImage shot = frame.View().grab().toImage();
            EXPECT_FALSE(ColumnLit(shot, status.left, status.top, status.bottom)) << language.name << " " << id;
            EXPECT_FALSE(ColumnLit(shot, status.right - 1, status.top, status.bottom)) << language.name << " " << id;
        }
        frame.View().OnDestroy();
    }
}

}  // namespace

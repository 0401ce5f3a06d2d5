#include "ui/widgets/language_dialog.h"

#include <QPushButton>

#include "ui/dialog_templates.h"
#include "ui/language_library.h"
#include "ui/language_table.h"
#include "ui/resources.h"
#include "ui/widgets/dialog_colours.h"
#include "ui/widgets/dialog_units.h"

namespace {

QString DialogText(int item) {
    return QString::fromStdString(ResourceText(ResourceKind::DialogItem, DialogTemplate::Language, item));
}

QPushButton* HiddenButton(QWidget* parent, int item, const QRect& geometry) {
    auto* button = new QPushButton(DialogText(item), parent);
    button->setObjectName(QStringLiteral("control%1").arg(item));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->hide();
    return button;
}

}  // namespace

CLanguageDlg::CLanguageDlg(SharedSettings& settings, CDfuDevice& device, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      device_(device) {
    using namespace DialogTemplate;
    setObjectName(QStringLiteral("dialog130"));
    setFont(DialogTemplateFont());
    const DialogUnits units(font());
    setFixedSize(units.SizeToPixels(LanguageSize));
    setWindowTitle(DialogText(Caption));

    // Present for the template's sake; a click on a flag is the only choice.
    QPushButton* ok = HiddenButton(this, OkButton, units.ToPixels(LanguageOk));
    HiddenButton(this, CancelButton, units.ToPixels(LanguageCancel));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    for (std::size_t i = 0; i < Languages.size(); ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("control%1").arg(Languages[i].buttonId));
        button->setGeometry(units.ToPixels(FlagButtons[i]));
        button->setAutoDefault(false);
        button->setToolTip(QString::fromLatin1(Languages[i].name));
        const int languageIndex = Languages[i].languageIndex;
        connect(button, &QPushButton::clicked, this, [this, languageIndex] { OnFlagClicked(languageIndex); });
        buttons_[i] = button;
    }
    ApplyDialogColours(this);
    OnInitDialog();
}

void CLanguageDlg::OnInitDialog() {
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        const std::string bytes = ResourceText(ResourceKind::Bitmap, Languages[i].bitmapId);
        QPixmap& flag = flags_[i];
        // A picture that does not load leaves its button blank.
        if (bytes.empty() ||
            !flag.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size()), "BMP"))
            continue;
        QPushButton* button = buttons_[i];
        button->setIcon(QIcon(flag));
        // The whole flag, shrunk only as far as the button's frame needs.
        const QSize room = button->size() - QSize(8, 8);
        button->setIconSize(flag.size().scaled(room, Qt::KeepAspectRatio).boundedTo(flag.size()));
    }
}

void CLanguageDlg::OnFlagClicked(int languageIndex) {
    ApplyLanguage(settings_, device_, languageIndex);
    accept();
}

void RunLanguageDialog(QWidget* parent, SharedSettings& settings, CDfuDevice& device) {
    CLanguageDlg dialog(settings, device, parent);
    dialog.exec();
}

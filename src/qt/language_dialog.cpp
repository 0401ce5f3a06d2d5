#include "qt/language_dialog.h"

#include <cstdlib>

#include <QKeyEvent>
#include <QPushButton>

#include "ui/dialog_templates.h"
#include "ui/language_library.h"
#include "ui/language_table.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "qt/dialog_colours.h"
#include "qt/dialog_units.h"
#include "qt/window_placement.h"

namespace {

QString DialogText(const Resources& resources, int item) {
    return QString::fromStdString(resources.Text(ResourceKind::DialogItem, DialogTemplate::Language, item));
}

QPushButton* HiddenButton(QWidget* parent, const Resources& resources, int item, const QRect& geometry) {
    auto* button = new QPushButton(DialogText(resources, item), parent);
    button->setObjectName(QStringLiteral("control%1").arg(item));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->hide();
    return button;
}

// The flag next to flag `position` in the direction of an arrow key, as the
// template places them (two columns); `position` itself at the edge.
int NeighbourFlag(int position, int key) {
    using DialogTemplate::FlagButtons;
    const auto& from = FlagButtons[static_cast<std::size_t>(position)];
    int best = position;
    int bestDistance = 0;
    for (int candidate = 0; candidate < static_cast<int>(FlagButtons.size()); ++candidate) {
        const auto& to = FlagButtons[static_cast<std::size_t>(candidate)];
        const int dx = to.x - from.x;
        const int dy = to.y - from.y;
        const bool inDirection = (key == Qt::Key_Right && dy == 0 && dx > 0) ||
                                 (key == Qt::Key_Left && dy == 0 && dx < 0) ||
                                 (key == Qt::Key_Down && dx == 0 && dy > 0) || (key == Qt::Key_Up && dx == 0 && dy < 0);
        const int distance = std::abs(dx) + std::abs(dy);
        if (inDirection && (best == position || distance < bestDistance)) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

// The button of the language in force; English for an index without a
// button (6, 7, 9), which means English.
std::size_t CurrentLanguagePosition(int languageIndex) {
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        if (Languages[i].languageIndex == languageIndex)
            return i;
    }
    return 0;
}

// Besides being checked, the flag of the language in force is framed in the
// highlight colour, so the mark shows whatever the style makes of "checked".
void MarkCurrent(QPushButton* button) {
    QPalette palette = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Button, palette.color(group, QPalette::Highlight));
    button->setPalette(palette);
}

}  // namespace

CLanguageDlg::CLanguageDlg(SharedSettings& settings, Resources& resources, QWidget* parent)
    : QDialog(parent, FixedSizeWindowFlags(Qt::Dialog)),
      settings_(settings),
      resources_(resources) {
    using namespace DialogTemplate;
    setObjectName(QStringLiteral("dialog130"));
    setFont(DialogTemplateFont());
    const DialogUnits units(font());
    setFixedSize(units.SizeToPixels(LanguageSize));
    setWindowTitle(DialogText(resources_, Caption));

    // Present for the template's sake; a flag is the only choice. The hidden
    // OK is the template's default button; a flag with the focus takes that
    // role while it has it, so Enter chooses the focused flag.
    QPushButton* ok = HiddenButton(this, resources_, OkButton, units.ToPixels(LanguageOk));
    ok->setDefault(true);
    HiddenButton(this, resources_, CancelButton, units.ToPixels(LanguageCancel));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const std::size_t current = CurrentLanguagePosition(settings_.LanguageIndex);
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("control%1").arg(Languages[i].buttonId));
        button->setGeometry(units.ToPixels(FlagButtons[i]));
        button->setAutoDefault(true);
        // The picture says nothing to a screen reader: the language's own name does.
        const QString name = QString::fromUtf8(Languages[i].nativeName);
        button->setAccessibleName(name);
        button->setToolTip(name);
        // The language in force shows pressed in, and is announced as such.
        button->setCheckable(true);
        button->setChecked(i == current);
        button->installEventFilter(this);
        const int languageIndex = Languages[i].languageIndex;
        connect(button, &QPushButton::clicked, this, [this, languageIndex] { OnFlagClicked(languageIndex); });
        buttons_[i] = button;
    }
    buttons_[current]->setFocus(Qt::OtherFocusReason);
    ApplyDialogColours(this);
    MarkCurrent(buttons_[current]);
    OnInitDialog();
}

bool CLanguageDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right && key != Qt::Key_Up && key != Qt::Key_Down)
        return QDialog::eventFilter(watched, event);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i] == watched) {
            buttons_[static_cast<std::size_t>(NeighbourFlag(static_cast<int>(i), key))]->setFocus(
                Qt::TabFocusReason);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CLanguageDlg::OnInitDialog() {
    for (std::size_t i = 0; i < Languages.size(); ++i) {
        const std::string bytes = resources_.Text(ResourceKind::Bitmap, Languages[i].bitmapId);
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
    ApplyLanguage(settings_, resources_, languageIndex);
    accept();
}

void RunLanguageDialog(QWidget* parent, SharedSettings& settings, Resources& resources) {
    CLanguageDlg dialog(settings, resources, parent);
    dialog.exec();
}

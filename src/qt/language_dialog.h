#pragma once

#include <array>

#include <QDialog>
#include <QPixmap>

class QPushButton;
class Resources;
class SharedSettings;

// Dialog template 130: seven flag buttons, one per language. A click applies
// that language (resources, settings file) and closes the dialog with OK;
// Escape or the close box leave everything as it was. Without a mouse: the
// arrow keys move between the flags, Enter or Space chooses the focused one.
// The language in force is the checked flag and has the focus at first.
class CLanguageDlg : public QDialog {
    Q_OBJECT
public:
    CLanguageDlg(SharedSettings& settings, Resources& resources, QWidget* parent = nullptr);

    // The button of language-table entry `position` (0 English ... 6 Swedish).
    QPushButton* FlagButton(int position) const { return buttons_[static_cast<std::size_t>(position)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void OnFlagClicked(int languageIndex);

    SharedSettings& settings_;
    Resources& resources_;
    std::array<QPixmap, 7> flags_;
    std::array<QPushButton*, 7> buttons_{};
};

// The language dialog as start-up and the Language command run it, modally.
void RunLanguageDialog(QWidget* parent, SharedSettings& settings, Resources& resources);

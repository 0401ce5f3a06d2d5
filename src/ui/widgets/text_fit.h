#pragma once

#include <QString>

class QAbstractButton;
class QFontMetrics;
class QLabel;

// Translated texts are longer or shorter than the English ones, while the
// templates' control sizes stay fixed. These keep a text whole inside its
// control: first by the line breaks the control allows, then, only if still
// needed, by a smaller point size (never below MinFittedPointSize).
inline constexpr int MinFittedPointSize = 6;

// Breaks `text` at blanks into lines no wider than `width`, as many as it takes.
QString WrapText(const QString& text, const QFontMetrics& metrics, int width);

// A check box or push button whose text must fit its geometry; `multiLine`
// lets the text wrap when the control is tall enough for it.
void FitButtonText(QAbstractButton* button, const QString& text, bool multiLine);

// A word-wrapped label whose text must fit its geometry.
void FitLabelText(QLabel* label, const QString& text);

// Whether the control shows its whole text at its present size.
bool ButtonTextFits(const QAbstractButton* button);
bool LabelTextFits(const QLabel* label);

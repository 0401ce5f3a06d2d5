#pragma once

#include <QString>

class QAbstractButton;
class QFontMetrics;
class QLabel;

// Translated texts are longer or shorter than the English ones, while the
// templates' control sizes stay fixed. A text breaks only where its control
// allows more than one line; every text keeps the dialog's font size.

// Breaks `text` at blanks into lines no wider than `width`, as many as it takes.
QString WrapText(const QString& text, const QFontMetrics& metrics, int width);

// Sets a check box's or push button's text; `multiLine` lets the text wrap
// when the control is tall enough for it.
void FitButtonText(QAbstractButton* button, const QString& text, bool multiLine);

// Sets a word-wrapped label's text.
void FitLabelText(QLabel* label, const QString& text);

// Whether the control shows its whole text at its present size.
bool ButtonTextFits(const QAbstractButton* button);
bool LabelTextFits(const QLabel* label);

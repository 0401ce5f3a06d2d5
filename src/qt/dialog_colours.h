#pragma once

class QWidget;

// The colour answer of the language and download-selection dialogs: the
// dialog itself and its static kinds of control (labels, check boxes, the
// read-only edit box) get white text on black; push buttons keep the
// ordinary look.
void ApplyDialogColours(QWidget* dialog);

#pragma once

class QMessageBox;
class Resources;

// The toolkit's own texts (standard buttons, the file chooser) in the
// language in force: its translations as the system ships them, loaded again
// whenever the language changes. English needs none.
void FollowLanguageInToolkit(const Resources& resources);

// A question's Yes and No buttons with the language's own words.
void NameYesNoButtons(QMessageBox& box, const Resources& resources);

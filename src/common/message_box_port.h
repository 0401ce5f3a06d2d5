#pragma once

#include <string>

// A modal message box with an OK button and the application's title. The call
// returns once the user has dismissed it. The Qt side posts to the UI thread
// when called from elsewhere and opens the box directly on the UI thread.
class MessageBoxPort {
public:
    virtual ~MessageBoxPort() = default;
    virtual void ShowMessageBox(const std::string& text) = 0;
    // A modal box with the error icon, an OK button and `caption` as its
    // title; returns once dismissed. Falls back to the plain box.
    virtual void ShowErrorBox(const std::string& text, const std::string& caption) {
        (void)caption;
        ShowMessageBox(text);
    }
};

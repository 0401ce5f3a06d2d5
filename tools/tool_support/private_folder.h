#pragma once

#include <string>

// A folder of this process's own in the temporary folder ($TMPDIR, else
// /tmp), where anyone may create entries: made by mkdtemp, so its name cannot
// be guessed, it is never one that already exists and only this user may
// enter it (mode 0700). It is removed with what it holds when the object
// goes, and also when the process is ended by SIGINT, SIGTERM or SIGHUP
// (unless that signal was ignored or handled already when the folder was
// made). Files in it are expected to lie flat, without subfolders.
class PrivateTempFolder {
public:
    PrivateTempFolder() = default;
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    // Makes "<temporary folder>/PREFIX-XXXXXX", or the same in `inFolder`
    // when one is given. False with the reason when it cannot be made.
    bool Create(const std::string& prefix, std::string& error, const std::string& inFolder = {});
    // Empty until Create succeeded.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int slot_ = -1;
};

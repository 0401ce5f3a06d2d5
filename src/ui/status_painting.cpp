#include "ui/status_painting.h"

#include "common/program_folder.h"
#include "common/working_files.h"

std::size_t CharacterCount(const std::string& utf8) {
    std::size_t count = 0;
    for (const char c : utf8) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

int StatusLineHeight(const std::string& statusText) {
    return CharacterCount(statusText) <= static_cast<std::size_t>(LongStatusThreshold) ? StatusLineHeightNormal
                                                                                        : StatusLineHeightLong;
}

std::vector<std::string> StatusLines(const std::string& statusText) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = statusText.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(statusText.substr(start));
            return lines;
        }
        lines.push_back(statusText.substr(start, end - start));
        start = end + 1;
    }
}

std::string PictureFilePath(const std::string& programFolder) { return programFolder + WorkingFile::Picture; }

std::string PictureFilePath(const std::vector<std::string>& resourceFolders) {
    return FindResourceFile(resourceFolders, WorkingFile::Picture);
}

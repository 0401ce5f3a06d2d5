#include "ui/settings_file.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "common/file_io.h"

namespace {

constexpr std::size_t MaxSettingsFileBytes = 64 * 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the file's text that reads values like the C library's
// formatted input, with bounded tokens.
class SettingsScanner {
public:
    explicit SettingsScanner(std::string_view text) : text_(text) {}

    std::optional<std::string> Token() {
        SkipSpace();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && pos_ - start < MaxSettingsTokenLength)
            ++pos_;
        if (pos_ == start)
            return std::nullopt;
        std::string token(text_.substr(start, pos_ - start));
        if (pos_ < text_.size() && !IsSpace(text_[pos_]))
            SkipRestOfLine();
        return token;
    }

    // A decimal integer with an optional sign; out-of-range values are held
    // at the nearest 32-bit bound.
    std::optional<std::int32_t> Integer() {
        if (failed_)
            return std::nullopt;
        SkipSpace();
        std::size_t pos = pos_;
        bool negative = false;
        if (pos < text_.size() && (text_[pos] == '+' || text_[pos] == '-'))
            negative = text_[pos++] == '-';
        if (pos >= text_.size() || !IsDigit(text_[pos])) {
            failed_ = true;  // formatted input stops at the first unreadable value
            return std::nullopt;
        }
        std::int64_t value = 0;
        constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        for (; pos < text_.size() && IsDigit(text_[pos]); ++pos) {
            if (value < limit)
                value = value * 10 + (text_[pos] - '0');
        }
        pos_ = pos;
        if (negative)
            value = -value;
        if (value > std::numeric_limits<std::int32_t>::max())
            value = std::numeric_limits<std::int32_t>::max();
        if (value < std::numeric_limits<std::int32_t>::min())
            value = std::numeric_limits<std::int32_t>::min();
        return static_cast<std::int32_t>(value);
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }
    void SkipRestOfLine() {
        while (pos_ < text_.size() && text_[pos_] != '\n')
            ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::optional<SettingsFileValues> ParseSettingsText(std::string_view text) {
    SettingsScanner scanner(text);
    auto language = scanner.Token();
    if (!language)
        return std::nullopt;
    SettingsFileValues values;
    values.languageFragment = std::move(*language);
    values.regionFragment = scanner.Token();
    if (!values.regionFragment)
        return values;
    values.downloadSizeKb = scanner.Integer();
    for (auto& size : values.regionSizes)
        size = scanner.Integer();
    return values;
}

std::string FormatSettingsText(const std::string& languageFragment, const std::string& regionFragment,
                               std::int32_t downloadSizeKb, const RegionSlots& regionSizes) {
    std::string text = languageFragment + "\n" + regionFragment + "\n" + std::to_string(downloadSizeKb) + "\n";
    for (int region = 0; region < RegionCount; ++region)
        text += std::to_string(regionSizes[region]) + "\n";
    return text;
}

std::optional<std::string> ReadSettingsFile(const std::string& path) {
    // As bytes: the parser takes either line end, and a text-mode read would
    // end at a stray Ctrl+Z on Windows.
    const FilePtr file(OpenFile(path, "rb"));
    if (!file)
        return std::nullopt;
    std::string text(MaxSettingsFileBytes, '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
    text.resize(got);
    return text;
}

bool ReplaceSettingsFile(const std::string& path, const std::string& text) {
    return ReplaceWholeFile(path, text.data(), text.size(), ".new", WriteMode::Text);
}

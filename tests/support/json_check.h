#pragma once

#include <cctype>
#include <string>

// Whether `text` is one JSON value (RFC 8259) with nothing but white space
// around it. Strict: no trailing commas, no bare words, no control
// characters inside strings, escapes only of the standard's kinds.
class JsonCheck {
public:
    explicit JsonCheck(const std::string& text) : text_(text) {}
    bool Valid() {
        const bool value = Value();
        Space();
        return value && at_ == text_.size();
    }

private:
    bool Value() {
        Space();
        if (at_ >= text_.size())
            return false;
        switch (text_[at_]) {
        case '{': return Members('}', true);
        case '[': return Members(']', false);
        case '"': return String();
        case 't': return Word("true");
        case 'f': return Word("false");
        case 'n': return Word("null");
        default: return Number();
        }
    }
    bool Members(char close, bool object) {
        ++at_;
        Space();
        if (Take(close))
            return true;
        do {
            if (object) {
                Space();
                if (!String())
                    return false;
                Space();
                if (!Take(':'))
                    return false;
            }
            if (!Value())
                return false;
            Space();
        } while (Take(','));
        return Take(close);
    }
    bool String() {
        if (!Take('"'))
            return false;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\')
                continue;
            if (at_ >= text_.size())
                return false;
            const char escape = text_[at_++];
            if (escape == 'u') {
                for (int i = 0; i < 4; ++i)
                    if (at_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[at_++])))
                        return false;
            } else if (std::string("\"\\/bfnrt").find(escape) == std::string::npos) {
                return false;
            }
        }
        return false;
    }
    bool Number() {
        Take('-');
        if (Take('0')) {
        } else if (!Digits()) {
            return false;
        }
        if (Take('.') && !Digits())
            return false;
        if (Take('e') || Take('E')) {
            if (!Take('+'))
                Take('-');
            return Digits();
        }
        return true;
    }
    bool Digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])))
            ++at_;
        return at_ > start;
    }
    bool Word(const char* word) {
        const std::string w = word;
        if (text_.compare(at_, w.size(), w) != 0)
            return false;
        at_ += w.size();
        return true;
    }
    bool Take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Space() {
        while (at_ < text_.size() && std::string(" \t\r\n").find(text_[at_]) != std::string::npos)
            ++at_;
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

inline bool IsValidJson(const std::string& text) { return JsonCheck(text).Valid(); }

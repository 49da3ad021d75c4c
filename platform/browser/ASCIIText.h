#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// HTML compares names and keywords without regard to ASCII case, and trims ASCII whitespace
// only; these never touch bytes beyond ASCII, whatever the locale.
namespace ascii {

inline char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToLower(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return ToLower(c); });
    return lowered;
}

inline std::string ToUpper(std::string_view text) {
    std::string raised(text);
    std::transform(raised.begin(), raised.end(), raised.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return raised;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return ToLower(x) == ToLower(y); });
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

inline bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsWhitespace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhitespace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace ascii

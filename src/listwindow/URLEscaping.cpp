#include "listwindow/URLEscaping.h"

#include <string_view>
#include <utility>

namespace {

// Applied in this order, each to the whole string as the rows before it left it.
constexpr std::pair<char, std::string_view> kEscapeTable[] = {
    {' ', "%20"}, {';', "%3B"}, {'#', "%23"}, {'?', "%3F"}, {'<', "%3C"},
    {'>', "%3E"}, {'{', "%7B"}, {'}', "%7D"}, {'[', "%5B"}, {']', "%5D"},
    {'^', "%5E"}, {'|', "%7C"}, {'`', "%60"}, {'"', "%22"}, {'\\', "%5C"},
};

void ReplaceAll(std::string& text, char character, std::string_view escape) {
    for (size_t at = text.find(character); at != std::string::npos;
         at = text.find(character, at + escape.size())) {
        text.replace(at, 1, escape);
    }
}

std::string EscapeNonASCII(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size() * 2);
    for (char each : text) {
        auto byte = static_cast<unsigned char>(each);
        if (byte >= 0x80) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        } else {
            escaped += each;
        }
    }
    return escaped;
}

} // namespace

std::string convertString(std::string& path) {
    for (const auto& [character, escape] : kEscapeTable) {
        ReplaceAll(path, character, escape);
    }
    return EscapeNonASCII(path);
}

std::string EscapePagePath(std::string& path) {
    ReplaceAll(path, ' ', "%20");
    return EscapeNonASCII(path);
}

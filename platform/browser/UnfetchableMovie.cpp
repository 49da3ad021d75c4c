#include "browser/UnfetchableMovie.h"

#include <algorithm>
#include <array>

#include "browser/ASCIIText.h"
#include "browser/WebPluginPackage.h"

namespace unfetchable_movie {

namespace {

constexpr size_t kLongestShown = 96;
constexpr size_t kShownStart = 64;
constexpr std::array kSchemes = {"data", "blob", "javascript"};

// The scheme as a browser reads it: leading spaces and controls skipped, tabs and line breaks
// inside ignored ("java\tscript:" is a script), lower-cased. Empty when the text has none.
std::string SchemeOf(std::string_view text) {
    std::string scheme;
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') {
        ++i;
    }
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            return scheme;
        }
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool allowed =
            letter ||
            (!scheme.empty() && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!allowed) {
            return {};
        }
        scheme.push_back(ascii::ToLower(c));
    }
    return {};
}

// "data:[<media type>][;base64],<data>": the media type.
std::string DataMediaType(std::string_view text) {
    const size_t start = text.find(':') + 1;
    const size_t end = text.find_first_of(";,", start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

} // namespace

std::optional<DownloadActivity::Loss> LossFor(std::string_view urlText, std::string_view mimeType) {
    const std::string scheme = SchemeOf(urlText);
    if (std::find(kSchemes.begin(), kSchemes.end(), scheme) == kSchemes.end()) {
        return std::nullopt;
    }
    const WebPluginPackage& flash = *WebPluginPackage::FlashPackage();
    const bool movie = flash.handlesMIMEType(mimeType) ||
                       (scheme == "data" && flash.handlesMIMEType(DataMediaType(urlText))) ||
                       (ascii::Trim(mimeType).empty() &&
                        ascii::ToLower(urlText).find(".swf") != std::string::npos);
    if (!movie) {
        return std::nullopt;
    }
    return DownloadActivity::Loss{Shortened(ascii::Trim(urlText)),
                                  DownloadActivity::kOnlyWebMovies};
}

std::string Shortened(std::string_view address) {
    if (address.size() <= kLongestShown) {
        return std::string(address);
    }
    size_t cut = kShownStart;
    // Back to the first byte of a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(address[cut]) & 0xC0U) == 0x80U) {
        --cut;
    }
    return std::string(address.substr(0, cut)) + "\u2026 (" + std::to_string(address.size()) +
           " bytes)";
}

} // namespace unfetchable_movie

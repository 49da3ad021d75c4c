#include "browser/MovieDocument.h"

#include "browser/ASCIIText.h"

namespace movie_document {

namespace {

constexpr const char* kFlashType = "application/x-shockwave-flash";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool HasMovieSignature(std::string_view body) {
    return StartsWith(body, "FWS") || StartsWith(body, "CWS") || StartsWith(body, "ZWS");
}

// Types a browser renders itself, whatever the bytes look like.
bool IsShownByBrowser(const std::string& type) {
    return StartsWith(type, "text/") || StartsWith(type, "image/") || type == "application/xml" ||
           ascii::EndsWithIgnoringCase(type, "+xml");
}

} // namespace

std::optional<std::string> MovieType(std::string_view contentType, std::string_view body) {
    const std::string type =
        ascii::ToLower(ascii::Trim(contentType.substr(0, contentType.find(';'))));
    if (type == kFlashType || type == "application/futuresplash") {
        return type;
    }
    if (!IsShownByBrowser(type) && HasMovieSignature(body)) {
        return std::string(kFlashType);
    }
    return std::nullopt;
}

Ref<DOMElement> FullPageEmbed(const URL& document, const std::string& type) {
    return MakeRef<DOMElement>(
        "embed", std::vector<DOMElement::Attribute>{{"src", document.absoluteString()},
                                                    {"type", type},
                                                    {"width", "100%"},
                                                    {"height", "100%"}});
}

} // namespace movie_document

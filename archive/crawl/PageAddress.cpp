#include "crawl/PageAddress.h"

#include <algorithm>
#include <cctype>

#include "browser/ASCIIText.h"

std::optional<std::string> page_address::Normalised(std::string_view text, const URL* base) {
    const std::optional<URL> url =
        base != nullptr ? URL::URLWithStringRelativeTo(text, *base) : URL::URLWithString(text);
    if (!url || (url->scheme() != "http" && url->scheme() != "https")) {
        return std::nullopt;
    }
    const std::string host = ascii::ToLower(url->host());
    const int defaultPort = url->scheme() == "https" ? 443 : 80;
    std::string normal = url->scheme() + "://" + host;
    if (url->port() && *url->port() != defaultPort) {
        normal += ":" + std::to_string(*url->port());
    }
    std::string rest = url->path().empty() ? std::string("/") : url->path();
    const std::string& whole = url->absoluteString();
    if (whole.substr(0, whole.find('#')).find('?') != std::string::npos) {
        rest += "?" + url->query();
    }
    // The parser resolves dot segments; escapes are written one way here.
    for (size_t i = 0; i + 2 < rest.size(); ++i) {
        if (rest[i] == '%' && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) != 0 &&
            std::isxdigit(static_cast<unsigned char>(rest[i + 2])) != 0) {
            rest[i + 1] = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[i + 1])));
            rest[i + 2] = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[i + 2])));
        }
    }
    return normal + rest;
}

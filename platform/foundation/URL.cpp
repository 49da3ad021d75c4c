#include "foundation/URL.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>

#include <curl/curl.h>

namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

// An absent part reads as empty.
std::string Part(CURLU* handle, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(handle, part, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return {};
    }
    const CurlString text(raw);
    return text.get();
}

bool HasSpaceOrControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
}

bool HasNonASCII(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// RFC 3986 (6.2.2.1): an escape means the same in either case and upper case is the normal
// form, so one address written two ways ("caf%c3%a9", "caf%C3%A9") is one address.
void UpperCaseEscapes(std::string& text) {
    for (size_t at = text.find('%'); at != std::string::npos && at + 2 < text.size();
         at = text.find('%', at + 1)) {
        if (IsHexDigit(text[at + 1]) && IsHexDigit(text[at + 2])) {
            for (size_t digit = at + 1; digit <= at + 2; ++digit) {
                if (text[digit] >= 'a' && text[digit] <= 'f') {
                    text[digit] = static_cast<char>(text[digit] - 'a' + 'A');
                }
            }
        }
    }
}

// Whether the text ends its path with a "?" and nothing after it ("Moxie.swf?", "a?#top").
bool HasEmptyQuery(std::string_view text) {
    const size_t query = text.find('?');
    const size_t fragment = text.find('#');
    if (query == std::string_view::npos ||
        (fragment != std::string_view::npos && fragment < query)) {
        return false;
    }
    return query + 1 == (fragment == std::string_view::npos ? text.size() : fragment);
}

} // namespace

std::optional<URL> URL::KeepEmptyQuery(std::optional<URL> url, std::string_view written) {
    // libcurl drops a query with nothing in it; a browser keeps the "?" as written, and so
    // does the address a movie is caught under.
    if (!url || !HasEmptyQuery(written) || !url->m_query.empty()) {
        return url;
    }
    const size_t fragment = url->m_text.find('#');
    if (url->m_text.find('?') < fragment) {
        return url;
    }
    const size_t at = fragment == std::string::npos ? url->m_text.size() : fragment;
    url->m_text = url->m_text.substr(0, at) + '?' + url->m_text.substr(at);
    return url;
}

std::optional<URL> URL::URLWithString(std::string_view text) {
    // Spaces and control characters are refused, as the original platform refuses them; an
    // embedded NUL would also cut libcurl's C string short.
    if (HasSpaceOrControl(text)) {
        return std::nullopt;
    }
    const CurlUrl handle(curl_url());
    if (!handle) {
        return std::nullopt;
    }
    const std::string copy(text);
    if (curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    // Accepted as is; now let libcurl percent-encode what is not ASCII.
    if (HasNonASCII(copy) &&
        curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return std::nullopt;
    }
    return KeepEmptyQuery(FromHandle(handle.get()), text);
}

std::optional<URL> URL::fileURLWithPath(std::string_view path) {
    // An embedded NUL would cut libcurl's C string short and name another file.
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const CurlUrl handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, "file:///", 0) != CURLUE_OK) {
        return std::nullopt;
    }
    const std::string copy(path);
    if (curl_url_set(handle.get(), CURLUPART_PATH, copy.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return std::nullopt;
    }
    return FromHandle(handle.get());
}

std::optional<std::string> URL::PercentDecoded(std::string_view text) {
    int length = 0;
    if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    const CurlString decoded(
        curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length));
    if (!decoded) {
        return std::nullopt;
    }
    return std::string(decoded.get(), static_cast<size_t>(length));
}

std::optional<URL> URL::URLWithStringRelativeTo(std::string_view text, const URL& base) {
    if (HasSpaceOrControl(text)) {
        return std::nullopt;
    }
    const CurlUrl handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, base.m_text.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    // libcurl resolves an empty or fragment-only reference to the base's folder; both must keep
    // the base document itself, query included.
    CURLUcode result = CURLUE_OK;
    if (text.empty()) {
        result = curl_url_set(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
    } else if (text.front() == '#') {
        const std::string fragment(text.substr(1));
        result = curl_url_set(handle.get(), CURLUPART_FRAGMENT, fragment.c_str(), 0);
    } else {
        const std::string reference(text);
        result = curl_url_set(handle.get(), CURLUPART_URL, reference.c_str(), 0);
    }
    if (result != CURLUE_OK) {
        return std::nullopt;
    }
    return KeepEmptyQuery(FromHandle(handle.get()), text);
}

std::optional<URL> URL::FromHandle(Curl_URL* handle) {
    URL url;
    url.m_text = Part(handle, CURLUPART_URL);
    if (url.m_text.empty()) {
        return std::nullopt;
    }
    url.m_scheme = Part(handle, CURLUPART_SCHEME);
    url.m_host = Part(handle, CURLUPART_HOST);
    url.m_path = Part(handle, CURLUPART_PATH);
    url.m_query = Part(handle, CURLUPART_QUERY);
    url.m_fragment = Part(handle, CURLUPART_FRAGMENT);
    for (std::string* part : {&url.m_text, &url.m_path, &url.m_query, &url.m_fragment}) {
        UpperCaseEscapes(*part);
    }
    const std::string port = Part(handle, CURLUPART_PORT);
    int number = 0;
    if (!port.empty() &&
        std::from_chars(port.data(), port.data() + port.size(), number).ec == std::errc()) {
        url.m_port = number;
    }
    return url;
}

bool URL::IsHTTP() const {
    return m_scheme == "http" || m_scheme == "https";
}

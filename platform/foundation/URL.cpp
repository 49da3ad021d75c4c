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

} // namespace

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
    return FromHandle(handle.get());
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
    return FromHandle(handle.get());
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

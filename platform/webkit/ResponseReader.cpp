#include "webkit/ResponseReader.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "foundation/PathString.h"

namespace {

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};

} // namespace

URLResponse ResponseReader::Read() const {
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    URL url = EffectiveURL();
    std::string filename = SuggestedFilename(url);
    return URLResponse{std::move(url), ExpectedLength(), MIMEType(), std::move(filename), status};
}

URL ResponseReader::EffectiveURL() const {
    char* effective = nullptr;
    if (curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective != nullptr) {
        if (auto url = URL::URLWithString(effective)) {
            return *url;
        }
    }
    return m_requested;
}

int64_t ResponseReader::ExpectedLength() const {
    // The announced length counts encoded bytes, but the delegate counts decoded ones: an
    // encoded body has no length the delegate could use.
    curl_header* encoding = nullptr;
    if (curl_easy_header(m_easy, "Content-Encoding", 0, CURLH_HEADER, -1, &encoding) == CURLHE_OK &&
        encoding != nullptr && Lowered(Trimmed(encoding->value)) != "identity") {
        return -1;
    }
    curl_off_t length = -1;
    if (curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0) {
        return -1;
    }
    return length;
}

std::string ResponseReader::MIMEType() const {
    char* type = nullptr;
    if (curl_easy_getinfo(m_easy, CURLINFO_CONTENT_TYPE, &type) != CURLE_OK || type == nullptr) {
        return "application/octet-stream";
    }
    const std::string full(type);
    const std::string mime = Lowered(Trimmed(full.substr(0, full.find(';'))));
    return mime.empty() ? "application/octet-stream" : mime;
}

std::string ResponseReader::SuggestedFilename(const URL& url) const {
    // The last segment of the path, decoded. A decoded "/" or ".." must not let the name
    // climb out of whatever folder the delegate puts it in.
    std::string name;
    int length = 0;
    const std::string segment = lastPathComponent(url.path());
    const std::unique_ptr<char, CurlStringDeleter> decoded(
        curl_easy_unescape(m_easy, segment.c_str(), static_cast<int>(segment.size()), &length));
    if (decoded) {
        name.assign(decoded.get(), static_cast<size_t>(length));
        name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
        name = lastPathComponent(name);
    }
    if (name.empty() || name == "/" || name == "." || name == "..") {
        name = url.host().empty() ? "Unknown" : url.host();
    }
    return name;
}

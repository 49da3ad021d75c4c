#pragma once

#include <optional>
#include <string>
#include <string_view>

struct Curl_URL; // libcurl's CURLU

// An absolute URL, parsed and resolved by libcurl's URL API. A value: it keeps the normalised
// text and the parts read off it.
//
// Parsing is strict: text with spaces or control characters, without a scheme, or with a scheme
// libcurl does not know is refused. Non-ASCII bytes are accepted and percent-encoded in the path
// and query, so absoluteString() is safe to hand on.
class URL {
public:
    static std::optional<URL> URLWithString(std::string_view text);
    // Resolves a reference (relative or absolute) against `base`, as a page resolves its links.
    static std::optional<URL> URLWithStringRelativeTo(std::string_view text, const URL& base);
    // A file URL for an absolute path, every byte that needs it percent-encoded ("/a b#" becomes
    // "file:///a%20b%23"). None for a relative path: this process's working folder means nothing
    // to whoever opens the URL.
    static std::optional<URL> fileURLWithPath(std::string_view path);

    // Every "%XX" escape decoded (the bytes may be any, NUL included); none when libcurl cannot.
    static std::optional<std::string> PercentDecoded(std::string_view text);

    const std::string& absoluteString() const { return m_text; }
    const std::string& scheme() const { return m_scheme; }
    const std::string& host() const { return m_host; }
    // Only a port written in the text; none when the scheme's default applies.
    std::optional<int> port() const { return m_port; }
    const std::string& path() const { return m_path; }
    // Without the "?" and "#"; empty when absent.
    const std::string& query() const { return m_query; }
    const std::string& fragment() const { return m_fragment; }

    bool IsHTTP() const;

    bool operator==(const URL& other) const { return m_text == other.m_text; }

private:
    URL() = default;
    static std::optional<URL> FromHandle(Curl_URL* handle);
    static std::optional<URL> KeepEmptyQuery(std::optional<URL> url, std::string_view written);

    std::string m_text;
    std::string m_scheme;
    std::string m_host;
    std::optional<int> m_port;
    std::string m_path;
    std::string m_query;
    std::string m_fragment;
};

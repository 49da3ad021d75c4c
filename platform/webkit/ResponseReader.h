#pragma once

#include <string>

#include <curl/curl.h>

#include "foundation/URL.h"
#include "webkit/URLResponse.h"

// Reads the final response of a transfer (after redirects) off its libcurl handle.
class ResponseReader {
public:
    ResponseReader(CURL* easy, const URL& requested) : m_easy(easy), m_requested(requested) {}

    URLResponse Read() const;

private:
    URL EffectiveURL() const;
    int64_t ExpectedLength() const;
    std::string MIMEType() const;
    std::string SuggestedFilename(const URL& url) const;

    CURL* m_easy; // not owned
    const URL& m_requested;
};

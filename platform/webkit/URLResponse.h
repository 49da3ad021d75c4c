#pragma once

#include <cstdint>
#include <string>

#include "foundation/URL.h"

// What a download learned from the final response, after redirects.
struct URLResponse {
    URL url;
    int64_t expectedContentLength = -1; // -1 when no usable length was announced
    std::string MIMEType;
    std::string suggestedFilename;
    long statusCode = 0;
};

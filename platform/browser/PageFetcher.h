#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "foundation/URL.h"

// Fetches a page the way the host's address bar does: http, https or a local file; redirects
// followed (to http and https only); HTTP errors are failures. Blocks until done.
class PageFetcher {
public:
    struct Options {
        std::chrono::milliseconds connectTimeout{10'000};
        std::chrono::milliseconds timeout{30'000};
        // Pages beyond this are refused rather than read into memory whole.
        size_t maxPageBytes = size_t{32} << 20;
        long maxRedirects = 10;
    };

    struct Result {
        bool ok = false;
        std::string body;
        // Where the page was finally found, after redirects.
        std::optional<URL> documentURL;
        // The final response's Content-Type; empty for local files.
        std::string contentType;
        // Why it failed, naming the URL asked for.
        std::string error;
    };

    static Result Fetch(const URL& url, const Options& options);
};

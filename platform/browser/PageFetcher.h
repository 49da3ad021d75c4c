#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "foundation/Outcome.h"
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

    struct Page {
        std::string body;
        // Where the page was finally found, after redirects.
        URL documentURL;
        // The final response's Content-Type; empty for local files.
        std::string contentType;
    };

    // A failure names the URL asked for and says why.
    static Outcome<Page> Fetch(const URL& url, const Options& options);
};

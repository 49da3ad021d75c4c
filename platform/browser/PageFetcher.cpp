#include "browser/PageFetcher.h"

#include <memory>
#include <optional>

#include <curl/curl.h>

#include "browser/LocalPageFile.h"
#include "webkit/WireRecording.h"

namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct Sink {
    std::string body;
    size_t limit = 0;
    bool overflowed = false;
};

size_t Receive(char* data, size_t size, size_t count, void* context) {
    auto* sink = static_cast<Sink*>(context);
    const size_t bytes = size * count;
    if (bytes > sink->limit - sink->body.size()) {
        sink->overflowed = true;
        return 0; // stops the transfer
    }
    sink->body.append(data, bytes);
    return bytes;
}

Failure Refused(const URL& url, std::string reason) {
    return {url.absoluteString(), std::move(reason)};
}

} // namespace

Outcome<PageFetcher::Page> PageFetcher::Fetch(const URL& url, const Options& options) {
    if (!url.IsHTTP() && url.scheme() != "file") {
        return Refused(url, "unsupported scheme \"" + url.scheme() + "\"");
    }
    // Before libcurl opens it: its file reader would wait on a FIFO or device for ever.
    if (std::optional<std::string> reason = local_page_file::WhyNotAPage(url)) {
        return Refused(url, *reason);
    }
    const std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        return Refused(url, "could not start a transfer");
    }
    CURL* curl = handle.get();
    Sink sink;
    sink.limit = options.maxPageBytes;
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,file");
    // A page on the web must not redirect the host into local files.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(options.maxPageBytes));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; SWFHarvex host)");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

    std::optional<WireTap> tap;
    if (std::shared_ptr<WireRecorder> recorder = WireRecorder::Current();
        recorder && url.IsHTTP()) {
        if (!tap.emplace(std::move(recorder)).Attach(curl)) {
            return Refused(url, "could not record the transfer");
        }
    }
    const CURLcode code = curl_easy_perform(curl);
    if (tap) {
        tap->Finish(code);
    }
    if (code != CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (code == CURLE_HTTP_RETURNED_ERROR) {
            return Refused(url, "HTTP status " + std::to_string(status));
        }
        if (sink.overflowed || code == CURLE_FILESIZE_EXCEEDED) {
            return Refused(url, "the page is larger than " + std::to_string(options.maxPageBytes) +
                                    " bytes");
        }
        return Refused(url, message[0] != '\0' ? message : curl_easy_strerror(code));
    }

    char* effective = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
    std::optional<URL> documentURL;
    if (effective != nullptr) {
        documentURL = URL::URLWithString(effective);
    }
    char* contentType = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
    return Page{std::move(sink.body), documentURL.value_or(url),
                contentType != nullptr ? contentType : ""};
}

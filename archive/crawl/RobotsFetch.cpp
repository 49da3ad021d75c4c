#include "crawl/RobotsFetch.h"

#include <memory>
#include <optional>

#include <curl/curl.h>

#include "webkit/WireRecording.h"

namespace {

struct Body {
    std::string text;
    bool cut = false;
};

size_t Keep(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t bytes = size * count;
    const size_t room = RobotsRules::kMostBytes - body->text.size();
    body->text.append(data, std::min(bytes, room));
    if (bytes > room) {
        body->cut = true;
        return 0; // enough: the transfer stops here
    }
    return bytes;
}

} // namespace

RobotsRules FetchRobots(const std::string& origin, std::string_view agent,
                        std::chrono::milliseconds timeout) {
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    if (!curl) {
        return RobotsRules::DisallowingAll();
    }
    const std::string address = origin + "/robots.txt";
    const std::string userAgent(agent);
    Body body;
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Keep);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    // Archived with the rest of the crawl, as archivists expect to find it.
    std::optional<WireTap> tap;
    if (std::shared_ptr<WireRecorder> recorder = WireRecorder::Current()) {
        if (!tap.emplace(std::move(recorder)).Attach(handle)) {
            tap.reset();
        }
    }
    const CURLcode done = curl_easy_perform(handle);
    if (tap) {
        tap->Finish(done);
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (done != CURLE_OK && !(done == CURLE_WRITE_ERROR && body.cut)) {
        return RobotsRules::DisallowingAll();
    }
    if (status >= 500 || status < 200) {
        return RobotsRules::DisallowingAll();
    }
    if (status >= 400) {
        return RobotsRules::AllowingAll();
    }
    return RobotsRules::Parse(body.text, agent);
}

#include "warc/Cdxj.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <regex>

#include <nlohmann/json.hpp>

#include "browser/ASCIIText.h"
#include "foundation/URL.h"
#include "foundation/defaults/AtomicFile.h"

namespace {

// A header's value in a head as received ("" without it); the name in any case.
std::string HeaderValue(const std::string& head, const std::string& name) {
    size_t start = head.find("\r\n");
    while (start != std::string::npos && start + 2 < head.size()) {
        const size_t end = head.find("\r\n", start + 2);
        const std::string line =
            head.substr(start + 2, (end == std::string::npos ? head.size() : end) - start - 2);
        const size_t colon = line.find(':');
        if (colon != std::string::npos &&
            ascii::ToLower(line.substr(0, colon)) == ascii::ToLower(name)) {
            const size_t first = line.find_first_not_of(" \t", colon + 1);
            const size_t last = line.find_last_not_of(" \t");
            return first == std::string::npos ? std::string()
                                              : line.substr(first, last - first + 1);
        }
        start = end;
    }
    return {};
}

std::string Timestamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::array<char, 16> text{};
    return {text.data(), std::strftime(text.data(), text.size(), "%Y%m%d%H%M%S", &utc)};
}

} // namespace

std::string cdxj::Surt(const std::string& address) {
    const std::string lower = ascii::ToLower(address);
    if (!lower.starts_with("http://") && !lower.starts_with("https://")) {
        return address;
    }
    static const std::regex kWww("^(https?://)www\\d*\\.");
    const std::optional<URL> url = URL::URLWithString(std::regex_replace(lower, kWww, "$1"));
    if (!url) {
        return address;
    }
    std::string host = url->host();
    std::string surt;
    for (size_t end = host.size(); end != std::string::npos && end > 0;) {
        const size_t dot = host.rfind('.', end - 1);
        const size_t begin = dot == std::string::npos ? 0 : dot + 1;
        surt += (surt.empty() ? "" : ",") + host.substr(begin, end - begin);
        end = dot;
    }
    const int defaultPort = url->scheme() == "https" ? 443 : 80;
    if (url->port() && *url->port() != defaultPort) {
        surt += ":" + std::to_string(*url->port());
    }
    // In lower case whole, percent escapes too (the parser writes them in upper case).
    surt += ")" + (url->path().empty() ? std::string("/") : ascii::ToLower(url->path()));
    if (const std::string query = ascii::ToLower(url->query()); !query.empty()) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t amp = query.find('&');; amp = query.find('&', start)) {
            parts.push_back(query.substr(start, amp - start));
            if (amp == std::string::npos) {
                break;
            }
            start = amp + 1;
        }
        std::sort(parts.begin(), parts.end());
        surt += "?";
        for (size_t i = 0; i < parts.size(); ++i) {
            surt += (i == 0 ? "" : "&") + parts[i];
        }
    }
    return surt;
}

std::string cdxj::Line(const WarcExchange& exchange, const WarcLocation& location) {
    const std::string& head = exchange.responseHead;
    const size_t space = head.find(' ');
    const std::string status =
        space == std::string::npos ? std::string() : head.substr(space + 1, 3);
    std::string mime = HeaderValue(head, "Content-Type");
    mime = mime.substr(0, mime.find(';'));
    mime.erase(mime.find_last_not_of(" \t") + 1);
    nlohmann::ordered_json entry{{"url", location.targetURI},
                                 {"mime", mime},
                                 {"status", status},
                                 {"digest", location.payloadDigest.substr(5)},
                                 {"length", std::to_string(location.length)},
                                 {"offset", std::to_string(location.offset)},
                                 {"filename", location.file.filename().string()}};
    return Surt(location.targetURI) + " " + Timestamp(exchange.date) + " " +
           entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Outcome<> cdxj::Write(const std::filesystem::path& path, std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return AtomicFile::Write(path.string(), text);
}

#include "mirror/MirrorPath.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "browser/ASCIIText.h"

namespace {

constexpr size_t kLongestName = 255; // NAME_MAX on the file systems we write to

Failure Refused(const URL& address, std::string why) {
    return {address.absoluteString(), std::move(why)};
}

std::string QueryInName(std::string_view query) {
    std::string name;
    for (const char c : query) {
        if (c == '%') {
            name += "%25";
        } else if (c == '/') {
            name += "%2F";
        } else {
            name += c;
        }
    }
    return name;
}

} // namespace

Outcome<std::string> MirrorPath(const URL& address) {
    const bool https = address.scheme() == "https";
    if (!https && address.scheme() != "http") {
        return Refused(address, "not an http or https address");
    }
    std::string path = ascii::ToLower(address.host());
    if (path.empty() || path.front() == '.') {
        return Refused(address, "a host the mirror cannot hold");
    }
    if (const std::optional<int> port = address.port(); port && *port != (https ? 443 : 80)) {
        path += ":" + std::to_string(*port);
    }
    std::string_view rest = address.path();
    if (rest.empty() || rest.front() != '/') {
        return Refused(address, "no path");
    }
    rest.remove_prefix(1);
    for (;;) {
        const size_t slash = rest.find('/');
        std::string segment(rest.substr(0, slash));
        const bool last = slash == std::string_view::npos;
        if (last && (segment.empty() || !address.query().empty())) {
            segment += "?" + QueryInName(address.query());
        }
        if (segment.empty() || segment == "." || segment == "..") {
            return Refused(address, "a path that leaves its folder or names none");
        }
        if (segment.size() > kLongestName) {
            return Refused(address,
                           "a name longer than " + std::to_string(kLongestName) + " bytes");
        }
        path += "/" + segment;
        if (last) {
            return path;
        }
        rest.remove_prefix(slash + 1);
    }
}

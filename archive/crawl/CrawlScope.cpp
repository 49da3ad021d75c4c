#include "crawl/CrawlScope.h"

#include <algorithm>

#include "crawl/PageAddress.h"

namespace {

// "host:port" of a normalised address (whatever its scheme), and its host alone.
std::string HostAndPort(const std::string& address) {
    const size_t start = address.find("://") + 3;
    return address.substr(start, address.find('/', start) - start);
}

std::string HostOf(const std::string& address) {
    const std::string host = HostAndPort(address);
    const size_t colon = host.rfind(':');
    return colon == std::string::npos || host.back() == ']' ? host : host.substr(0, colon);
}

Outcome<std::vector<std::regex>> Patterns(const std::vector<std::string>& texts) {
    std::vector<std::regex> patterns;
    for (const std::string& text : texts) {
        try {
            patterns.emplace_back(text, std::regex::ECMAScript | std::regex::optimize);
        } catch (const std::regex_error& error) {
            return Failure{text, std::string("not a regular expression: ") + error.what()};
        }
    }
    return patterns;
}

} // namespace

Outcome<CrawlScope> CrawlScope::Make(Kind kind, const std::vector<std::string>& seeds,
                                     const std::vector<std::string>& include,
                                     const std::vector<std::string>& exclude) {
    CrawlScope scope;
    scope.m_kind = kind;
    for (const std::string& seed : seeds) {
        const std::optional<std::string> normal = page_address::Normalised(seed);
        if (!normal) {
            return Failure{seed, "not an http or https address"};
        }
        switch (kind) {
        case Kind::Host:
            scope.m_roots.push_back(HostAndPort(*normal));
            break;
        case Kind::Domain: {
            std::string host = HostOf(*normal);
            if (host.starts_with("www.")) {
                host.erase(0, 4);
            }
            scope.m_roots.push_back(host);
            break;
        }
        case Kind::Prefix:
            scope.m_roots.push_back(normal->substr(0, normal->rfind('/') + 1));
            break;
        }
    }
    Outcome<std::vector<std::regex>> included = Patterns(include);
    if (!included) {
        return included.failure();
    }
    Outcome<std::vector<std::regex>> excluded = Patterns(exclude);
    if (!excluded) {
        return excluded.failure();
    }
    scope.m_include = std::move(included.value());
    scope.m_exclude = std::move(excluded.value());
    return scope;
}

bool CrawlScope::Contains(const std::string& address) const {
    const bool inRoots = std::any_of(m_roots.begin(), m_roots.end(), [&](const std::string& root) {
        switch (m_kind) {
        case Kind::Host:
            return HostAndPort(address) == root;
        case Kind::Domain: {
            const std::string host = HostOf(address);
            return host == root || host.ends_with("." + root);
        }
        case Kind::Prefix:
            return address.starts_with(root);
        }
        return false;
    });
    if (!inRoots) {
        return false;
    }
    const auto matches = [&address](const std::regex& pattern) {
        return std::regex_search(address, pattern);
    };
    return (m_include.empty() || std::any_of(m_include.begin(), m_include.end(), matches)) &&
           std::none_of(m_exclude.begin(), m_exclude.end(), matches);
}

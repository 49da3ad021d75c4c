#pragma once

#include <string>
#include <string_view>
#include <vector>

// What one site's robots.txt lets one crawler fetch (RFC 9309). The groups whose user-agent is the
// crawler's product token (in any case) apply, merged; without one, the groups for "*"; without
// those, everything is allowed. The rule with the longest pattern that matches the path wins, an
// allow rule over a disallow rule of the same length; "*" matches any run of bytes and a final
// "$" the end. Paths and patterns are compared with their percent escapes made one spelling:
// an escaped byte that needs none is decoded, one that does is written in upper case.
class RobotsRules {
public:
    // What a crawler reads of a robots.txt at most; the rest is ignored (the RFC asks for at
    // least 500 KiB).
    static constexpr size_t kMostBytes = size_t{512} * 1024;

    // `productToken` may carry a version ("SWFHarvex/1.0"); the groups are matched by the name.
    static RobotsRules Parse(std::string_view text, std::string_view productToken);
    // A site without a robots.txt (4xx): everything.
    static RobotsRules AllowingAll() { return {}; }
    // A site whose robots.txt cannot be had (5xx, no answer): nothing, until it can.
    static RobotsRules DisallowingAll();

    // `target` is the address's path with its query ("/a/b?c"); "/robots.txt" is always allowed.
    bool Allows(std::string_view target) const;

private:
    struct Rule {
        std::string pattern; // its escapes in one spelling
        bool allow = false;
    };
    std::vector<Rule> m_rules;
};

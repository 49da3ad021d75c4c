#include "crawl/RobotsRules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "browser/ASCIIText.h"

namespace {

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The byte a "%XX" escape at `at` stands for; none when there is no escape there.
std::optional<unsigned char> EscapedByte(std::string_view text, size_t at) {
    unsigned value = 0;
    if (text[at] != '%' || at + 2 >= text.size() ||
        std::isxdigit(static_cast<unsigned char>(text[at + 1])) == 0 ||
        std::isxdigit(static_cast<unsigned char>(text[at + 2])) == 0 ||
        std::from_chars(text.data() + at + 1, text.data() + at + 3, value, 16).ec != std::errc{}) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(value);
}

// Escapes in one spelling: "%7E" and "~" are the same byte, "%2f" and "%2F" the same escape.
// `keep` holds the bytes that stay as they are besides the unreserved ones ("/" and "%", and a
// pattern's "*" and "$"); an escape of "/" or "%" stays an escape, since decoding it would change
// what the path means.
std::string OneSpelling(std::string_view text, std::string_view keep) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    const auto put = [&out](unsigned char byte, std::string_view keepAlso) {
        if (std::isalnum(byte) != 0 || byte == '-' || byte == '.' || byte == '_' || byte == '~' ||
            keepAlso.find(static_cast<char>(byte)) != std::string_view::npos) {
            out.push_back(static_cast<char>(byte));
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4U]);
            out.push_back(kHex[byte & 15U]);
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (const std::optional<unsigned char> escaped = EscapedByte(text, i)) {
            const unsigned char decoded = *escaped;
            if (decoded == '/' || decoded == '%') {
                out.push_back('%');
                out.push_back(kHex[decoded >> 4U]);
                out.push_back(kHex[decoded & 15U]);
            } else {
                put(decoded, "");
            }
            i += 2;
            continue;
        }
        put(static_cast<unsigned char>(text[i]), keep);
    }
    return out;
}

// The path part (before "?" or ";") in one spelling; the query and parameters as they are.
std::string Normalised(std::string_view target, std::string_view keep) {
    const size_t end = std::min(target.find('?'), target.find(';'));
    const std::string_view path = target.substr(0, end);
    std::string normal = OneSpelling(path, keep);
    if (end != std::string_view::npos) {
        normal += target.substr(end);
    }
    return normal;
}

// Whether `pattern` ("*" any run, a final "$" the end) matches `path` from its start.
bool Matches(std::string_view pattern, std::string_view path) {
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) {
        pattern.remove_suffix(1);
    }
    // Glob matching with one backtrack point: the last "*" seen.
    size_t p = 0;
    size_t s = 0;
    std::optional<size_t> star;
    size_t starFrom = 0;
    while (true) {
        if (p == pattern.size() && (!anchored || s == path.size())) {
            return true;
        }
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starFrom = s;
            continue;
        }
        if (p < pattern.size() && s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (!star || starFrom >= path.size()) {
            return false;
        }
        p = *star + 1;
        s = ++starFrom;
    }
}

} // namespace

RobotsRules RobotsRules::DisallowingAll() {
    RobotsRules rules;
    rules.m_rules.push_back({"/", false});
    return rules;
}

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view productToken) {
    struct Group {
        std::vector<std::string> agents;
        std::vector<Rule> rules;
    };
    std::vector<Group> groups;
    bool lastWasAgent = false;
    text = text.substr(0, kMostBytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        line = line.substr(0, line.find('#'));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string key = ascii::ToLower(Trim(line.substr(0, colon)));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (key == "user-agent") {
            if (!lastWasAgent) {
                groups.emplace_back();
            }
            // The product token: what comes before any space.
            groups.back().agents.push_back(
                ascii::ToLower(value.substr(0, value.find_first_of(" \t"))));
            lastWasAgent = true;
        } else if (key == "allow" || key == "disallow") {
            lastWasAgent = false;
            if (groups.empty() || value.empty()) {
                continue;
            }
            const std::string pattern = value.front() == '/' || value.front() == '*'
                                            ? std::string(value)
                                            : "/" + std::string(value);
            groups.back().rules.push_back({Normalised(pattern, "/%*$"), key == "allow"});
        }
    }
    // "SWFHarvex/1.0" names the product "SWFHarvex".
    const std::string token =
        ascii::ToLower(productToken.substr(0, productToken.find_first_of("/ \t")));
    RobotsRules rules;
    for (const std::string& wanted : {token, std::string("*")}) {
        for (const Group& group : groups) {
            if (std::find(group.agents.begin(), group.agents.end(), wanted) != group.agents.end()) {
                rules.m_rules.insert(rules.m_rules.end(), group.rules.begin(), group.rules.end());
            }
        }
        if (!rules.m_rules.empty() ||
            std::any_of(groups.begin(), groups.end(), [&wanted](const Group& group) {
                return std::find(group.agents.begin(), group.agents.end(), wanted) !=
                       group.agents.end();
            })) {
            break;
        }
    }
    return rules;
}

bool RobotsRules::Allows(std::string_view target) const {
    if (target.empty()) {
        target = "/";
    }
    const std::string path = Normalised(target, "/%");
    if (path == "/robots.txt") {
        return true;
    }
    const Rule* best = nullptr;
    for (const Rule& rule : m_rules) {
        if (!Matches(rule.pattern, path)) {
            continue;
        }
        if (best == nullptr || rule.pattern.size() > best->pattern.size() ||
            (rule.pattern.size() == best->pattern.size() && rule.allow && !best->allow)) {
            best = &rule;
        }
    }
    return best == nullptr || best->allow;
}

#pragma once

#include <regex>
#include <string>
#include <vector>

#include "foundation/Outcome.h"

// Which pages a crawl follows links to, judged on normalised addresses (page_address): those of
// a seed's host (its name and port, http or https), of a seed's domain (its host without a leading
// "www." and every host under it), or under a seed's folder (the seed up to its last "/"); then,
// when include patterns are given, only addresses one of them matches, and never one an exclude
// pattern matches (ECMAScript regular expressions, searched anywhere in the address).
class CrawlScope {
public:
    enum class Kind { Host, Domain, Prefix };

    // Fails naming the pattern that is not a regular expression.
    static Outcome<CrawlScope> Make(Kind kind, const std::vector<std::string>& seeds,
                                    const std::vector<std::string>& include = {},
                                    const std::vector<std::string>& exclude = {});

    bool Contains(const std::string& address) const;

private:
    Kind m_kind = Kind::Host;
    std::vector<std::string> m_roots; // per seed: its origin, domain or folder
    std::vector<std::regex> m_include;
    std::vector<std::regex> m_exclude;
};

#include "swfharvex/InfoCommand.h"

#include <nlohmann/json.hpp>

#include "swf/CSWFParser.h"

MovieFacts InfoCommand::Inspect(const std::string& path, bool withTags) {
    // A fresh parser for every file, as the window does: nothing of one movie leaks into the next.
    CSWFParser::ReleaseInstance();
    CSWFParser* parser = CSWFParser::Instance();
    MovieFacts facts;
    // Without the tags only the header is read: a large compressed movie is not inflated whole
    // for facts that stand in its first bytes.
    const bool read = withTags ? parser->ParseFileStructure(path.c_str(), true)
                               : parser->ParseHeader(path.c_str());
    if (!read) {
        facts.path = path;
        facts.error = parser->FailureReason();
    } else {
        facts = FactsOf(path, *parser, withTags);
    }
    CSWFParser::ReleaseInstance(); // don't hold a large image past its use
    return facts;
}

int InfoCommand::Run(std::ostream& out, std::ostream& err) const {
    nlohmann::json report = nlohmann::json::array();
    bool allParsed = true;
    bool firstShown = true;
    for (const std::string& path : m_options.files) {
        MovieFacts facts = Inspect(path, m_options.tags);
        allParsed = allParsed && facts.Ok();
        if (m_options.json) {
            report.push_back(facts.ToJson());
        } else if (!facts.Ok()) {
            err << "swfharvex: " << path << ": " << facts.error << '\n';
        } else {
            out << (firstShown ? "" : "\n");
            firstShown = false;
            facts.WriteText(out);
        }
    }
    if (m_options.json) {
        out << report.dump(2) << '\n';
    }
    return allParsed ? kAllParsed : kSomeFailed;
}

#include "swf/MovieFacts.h"

#include <cstdio>
#include <filesystem>

#include "foundation/JsonText.h"
#include "swf/SWFBaseParse.h"

namespace {

void Line(std::ostream& out, const char* label, const std::string& value) {
    out << "  " << label << value << '\n';
}

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

} // namespace

MovieFacts FactsOf(const std::string& path, CSWFBaseParse& parser, bool withTags) {
    MovieFacts facts;
    facts.path = path;
    facts.version = parser.m_version;
    facts.fileLength = parser.m_fileLength;
    facts.frameWidth = parser.m_frameWidth;
    facts.frameHeight = parser.m_frameHeight;
    facts.frameRate = parser.m_frameRate;
    facts.frameCount = parser.m_frameCount;
    facts.compressed = parser.m_isCompressed;
    facts.text = SWFInfoText::From(std::filesystem::path(path).filename().string(), parser);
    if (withTags) {
        parser.GetSWFInformation();
        facts.tags = TagFacts{parser.m_backgroundColor, parser.m_isProtected, parser.m_hasTag41,
                              parser.m_minVersion};
    }
    return facts;
}

std::string ColorText(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFFU);
    return text;
}

nlohmann::json MovieFacts::ToJson() const {
    nlohmann::json json = nlohmann::json::object();
    PutText(json, "path", path);
    if (!Ok()) {
        json["ok"] = false;
        PutText(json, "error", error);
        return json;
    }
    json.update({{"ok", true},
                 {"version", version},
                 {"fileLength", fileLength},
                 {"frameWidth", frameWidth},
                 {"frameHeight", frameHeight},
                 {"frameRate", frameRate},
                 {"frameCount", frameCount},
                 {"compressed", compressed},
                 {"sizeText", text.size},
                 {"frameSizeText", text.frameSize}});
    PutText(json, "name", text.name);
    if (tags) {
        json["backgroundColor"] = ColorText(tags->backgroundColor);
        json["protected"] = tags->isProtected;
        json["hasTag41"] = tags->hasTag41;
        json["minVersion"] = tags->minVersion;
    }
    return json;
}

void MovieFacts::WriteText(std::ostream& out) const {
    out << path << '\n';
    Line(out, "Name:        ", text.name);
    Line(out, "Size:        ", text.size);
    Line(out, "Version:     ", text.version);
    Line(out, "Frame size:  ", text.frameSize);
    Line(out, "Frame rate:  ", text.frameRate);
    Line(out, "Frame count: ", text.frameCount);
    if (tags) {
        Line(out, "Background:  ", ColorText(tags->backgroundColor));
        Line(out, "Protected:   ", YesNo(tags->isProtected));
        Line(out, "Tag 41:      ", YesNo(tags->hasTag41));
        Line(out, "Min version: ", std::to_string(tags->minVersion));
    }
}

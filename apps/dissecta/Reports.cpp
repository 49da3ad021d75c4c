#include "Reports.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/JsonText.h"

namespace {

// The summary's counts, labelled, in the order every form shows them.
std::vector<std::pair<const char*, int>> Counts(const Dissection::Summary& summary) {
    return {{"shapes", summary.shapes},   {"bitmaps", summary.bitmaps},
            {"sounds", summary.sounds},   {"fonts", summary.fonts},
            {"texts", summary.texts},     {"sprites", summary.sprites},
            {"buttons", summary.buttons}, {"frames", summary.frames}};
}

std::string ActionScriptText(const Dissection::Summary& summary) {
    if (summary.hasAVM1 && summary.hasAVM2) {
        return "AVM1 (ActionScript 1 and 2) and AVM2 (ActionScript 3)";
    }
    if (summary.hasAVM1) {
        return "AVM1 (ActionScript 1 and 2)";
    }
    return summary.hasAVM2 ? "AVM2 (ActionScript 3)" : "none";
}

std::string Background(const Dissection& dissection) {
    return dissection.facts.tags ? ColorText(dissection.facts.tags->backgroundColor) : "";
}

bool Protected(const Dissection& dissection) {
    return dissection.facts.tags && dissection.facts.tags->isProtected;
}

std::string Escaped(std::string_view bytes) {
    std::string text;
    for (char c : ValidUtf8(bytes)) {
        switch (c) {
        case '&':
            text += "&amp;";
            break;
        case '<':
            text += "&lt;";
            break;
        case '>':
            text += "&gt;";
            break;
        case '"':
            text += "&quot;";
            break;
        case '\'':
            text += "&#39;";
            break;
        default:
            text += c;
        }
    }
    return text;
}

// What every form lists of a dissection, decided in this one place so that the forms agree.
struct Listing {
    size_t tags = 0;
    size_t references = 0;
    size_t referencesLeftOut = 0; // by the dissector's bound and by this report's
    std::string tagsCut;          // where the tag list stops; empty when it lists every tag
    std::string referencesCut;    // likewise for the references the dissector kept
};

std::string CutText(size_t leftOut, const char* rows, const std::string& from,
                    const std::string& most) {
    return "The list stops here: " + std::to_string(leftOut) + " more " + rows + ", from the one " +
           from + " on, are left out of this report, which lists at most " + most + ".";
}

Listing ListingOf(const Dissection& dissection) {
    Listing listing;
    listing.tags = std::min(dissection.tags.size(), ReportBounds::kMostTagRows);
    if (listing.tags < dissection.tags.size()) {
        listing.tagsCut = CutText(dissection.tags.size() - listing.tags, "tags",
                                  "at " + OffsetText(dissection.tags[listing.tags].offset),
                                  std::to_string(ReportBounds::kMostTagRows));
    }
    size_t bytes = 0;
    for (const Dissection::Reference& reference : dissection.references) {
        bytes += reference.text.size() + reference.where.size();
        if (listing.references == ReportBounds::kMostReferenceRows ||
            bytes > ReportBounds::kMostReferenceBytes) {
            break;
        }
        ++listing.references;
    }
    const size_t cut = dissection.references.size() - listing.references;
    listing.referencesLeftOut = cut + dissection.referencesLeftOut;
    if (cut > 0) {
        listing.referencesCut =
            CutText(listing.referencesLeftOut, "references",
                    "found in " + dissection.references[listing.references].where,
                    std::to_string(ReportBounds::kMostReferenceRows) + ", and " +
                        std::to_string(ReportBounds::kMostReferenceBytes >> 20) + " MiB of them");
    }
    return listing;
}

constexpr const char* kStyle = R"(
body { font: 14px/1.4 system-ui, sans-serif; margin: 2em; color: #222; }
h1 { font-size: 1.4em; } h2 { font-size: 1.1em; margin-top: 1.6em; }
table { border-collapse: collapse; } td, th { padding: 2px 10px; text-align: left; }
th { border-bottom: 1px solid #999; } th[scope="row"] { border: none; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
code, td.c { font-family: ui-monospace, monospace; } .stop { color: #a00; font-weight: bold; }
)";

} // namespace

void WriteTextReport(const Dissection& dissection, std::ostream& out) {
    const Listing listing = ListingOf(dissection);
    dissection.facts.WriteText(out);
    out << "\nTags (" << dissection.tags.size() << "):\n";
    char line[160];
    for (size_t index = 0; index < listing.tags; ++index) {
        const Dissection::Tag& tag = dissection.tags[index];
        std::snprintf(line, sizeof line, "  %s %4u  %-*s%-30s %10u\n",
                      OffsetText(tag.offset).c_str(), tag.code, tag.depth * 2, "", tag.name,
                      tag.length);
        out << line;
    }
    if (!listing.tagsCut.empty()) {
        out << "  (" << listing.tagsCut << ")\n";
    }
    const Dissection::Summary& summary = dissection.summary;
    out << "\nSummary:\n";
    for (const auto& [label, count] : Counts(summary)) {
        out << "  " << label << ": " << count << '\n';
    }
    out << "  background: " << Background(dissection) << '\n'
        << "  protected: " << (Protected(dissection) ? "yes" : "no") << '\n'
        << "  lowest version the tags need: " << summary.minVersion << '\n'
        << "  ActionScript: " << ActionScriptText(summary) << '\n';
    out << "\nNeeds from outside (" << dissection.references.size() << "):\n";
    for (size_t index = 0; index < listing.references; ++index) {
        const Dissection::Reference& reference = dissection.references[index];
        out << "  " << reference.text << "  (" << reference.where << ")\n";
    }
    if (!listing.referencesCut.empty()) {
        out << "  (" << listing.referencesCut << ")\n";
    } else if (listing.referencesLeftOut > 0) {
        out << "  (" << listing.referencesLeftOut << " more left out of this report)\n";
    }
    if (dissection.stoppedAt) {
        out << "\nReading stopped at " << OffsetText(dissection.stoppedAt->offset) << ": "
            << dissection.stoppedAt->reason << '\n';
    }
}

void WriteJsonReport(const Dissection& dissection, std::ostream& out) {
    const Listing listing = ListingOf(dissection);
    out << "{\n\"header\": " << dissection.facts.ToJson().dump();
    if (!dissection.Readable()) {
        out << "\n}\n";
        return;
    }
    nlohmann::json summary = nlohmann::json::object();
    for (const auto& [label, count] : Counts(dissection.summary)) {
        summary[label] = count;
    }
    summary["backgroundColor"] = Background(dissection);
    summary["protected"] = Protected(dissection);
    summary["minVersion"] = dissection.summary.minVersion;
    summary["avm1"] = dissection.summary.hasAVM1;
    summary["avm2"] = dissection.summary.hasAVM2;
    out << ",\n\"summary\": " << summary.dump() << ",\n\"stoppedAt\": "
        << (dissection.stoppedAt ? nlohmann::json{{"offset", dissection.stoppedAt->offset},
                                                  {"reason", dissection.stoppedAt->reason}}
                                 : nlohmann::json(nullptr))
               .dump()
        << ",\n\"referencesLeftOut\": " << listing.referencesLeftOut
        << ",\n\"tagsLeftOut\": " << dissection.tags.size() - listing.tags << ",\n\"cut\": ";
    nlohmann::json cuts = nlohmann::json::array();
    for (const std::string* cut : {&listing.tagsCut, &listing.referencesCut}) {
        if (!cut->empty()) {
            cuts.push_back(*cut);
        }
    }
    out << cuts.dump() << ",\n\"references\": [";
    const char* separator = "\n";
    for (size_t index = 0; index < listing.references; ++index) {
        const Dissection::Reference& reference = dissection.references[index];
        nlohmann::json entry = nlohmann::json::object();
        PutText(entry, "url", reference.text);
        entry["where"] = reference.where;
        out << separator << entry.dump();
        separator = ",\n";
    }
    out << "],\n\"tags\": [";
    separator = "\n";
    for (size_t index = 0; index < listing.tags; ++index) {
        const Dissection::Tag& tag = dissection.tags[index];
        out << separator << "{\"offset\":" << tag.offset << ",\"code\":" << tag.code
            << R"(,"name":")" << tag.name << R"(","length":)" << tag.length
            << ",\"depth\":" << tag.depth << '}';
        separator = ",\n";
    }
    out << "]\n}\n";
}

void WriteHtmlReport(const Dissection& dissection, std::ostream& page) {
    const Listing listing = ListingOf(dissection);
    const std::string title = Escaped(dissection.facts.path);
    page << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         << R"(<meta http-equiv="Content-Security-Policy" content="default-src 'none'; )"
         << "style-src 'unsafe-inline'\"><title>Dissecta: " << title << "</title><style>" << kStyle
         << "</style></head><body>\n<h1>" << title << "</h1>\n";
    if (!dissection.Readable()) {
        page << "<p class=\"stop\">Not a movie: " << Escaped(dissection.facts.error)
             << "</p></body></html>\n";
        return;
    }
    std::ostringstream header;
    dissection.facts.WriteText(header);
    page << "<h2>Header</h2>\n<pre>" << Escaped(header.str()) << "</pre>\n";
    if (dissection.stoppedAt) {
        page << "<p class=\"stop\">Reading stopped at " << OffsetText(dissection.stoppedAt->offset)
             << ": " << Escaped(dissection.stoppedAt->reason) << "</p>\n";
    }
    const Dissection::Summary& summary = dissection.summary;
    page << "<h2>Summary</h2>\n<table>\n";
    for (const auto& [label, count] : Counts(summary)) {
        page << "<tr><th scope=\"row\">" << label << "</th><td class=\"n\">" << count
             << "</td></tr>\n";
    }
    page << "<tr><th scope=\"row\">background</th><td>" << Background(dissection)
         << "</td></tr>\n<tr><th scope=\"row\">protected</th><td>"
         << (Protected(dissection) ? "yes" : "no")
         << "</td></tr>\n<tr><th scope=\"row\">lowest version the tags need</th><td>"
         << summary.minVersion << "</td></tr>\n<tr><th scope=\"row\">ActionScript</th><td>"
         << ActionScriptText(summary) << "</td></tr>\n</table>\n";
    page << "<h2>Needs from outside (" << dissection.references.size() << ")</h2>\n";
    page << "<table>\n<tr><th>address or file</th><th>found in</th></tr>\n";
    for (size_t index = 0; index < listing.references; ++index) {
        const Dissection::Reference& reference = dissection.references[index];
        page << "<tr><td class=\"c\">" << Escaped(reference.text) << "</td><td>"
             << Escaped(reference.where) << "</td></tr>\n";
    }
    page << "</table>\n";
    if (!listing.referencesCut.empty()) {
        page << "<p class=\"stop\">" << Escaped(listing.referencesCut) << "</p>\n";
    } else if (listing.referencesLeftOut > 0) {
        page << "<p>" << listing.referencesLeftOut << " more left out of this report.</p>\n";
    }
    page << "<h2>Tags (" << dissection.tags.size() << ")</h2>\n";
    page << "<table>\n<tr><th>offset</th><th>code</th><th>name</th><th>length</th></tr>\n";
    for (size_t index = 0; index < listing.tags; ++index) {
        const Dissection::Tag& tag = dissection.tags[index];
        page << "<tr><td class=\"c\">" << OffsetText(tag.offset) << "</td><td class=\"n\">"
             << tag.code << R"(</td><td class="c" style="padding-left: )" << 10 + tag.depth * 20
             << "px\">" << tag.name << "</td><td class=\"n\">" << tag.length << "</td></tr>\n";
    }
    page << "</table>\n";
    if (!listing.tagsCut.empty()) {
        page << "<p class=\"stop\">" << listing.tagsCut << "</p>\n";
    }
    page << "</body></html>\n";
}

#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/static/PluginObject.h"

struct GumboInternalOutput;

// A parsed page, read the way a host that runs no scripts and no ActiveX controls reads it.
class HTMLDocument {
public:
    explicit HTMLDocument(std::string_view html);
    ~HTMLDocument();
    HTMLDocument(const HTMLDocument&) = delete;
    HTMLDocument& operator=(const HTMLDocument&) = delete;
    HTMLDocument(HTMLDocument&&) = delete;
    HTMLDocument& operator=(HTMLDocument&&) = delete;

    // The href of the first <base> that has one, as written (whitespace removed as for URLs).
    std::optional<std::string> baseHref() const;

    // The plug-in objects, in document order:
    //  - <embed> with a src or a type;
    //  - <object> without a classid, whose URL is its data, else its first <param> named "movie"
    //    or "src", and which has a URL or a type.
    // An <object> that is not a plug-in object (an ActiveX control, or one naming nothing)
    // shows its fallback content, which is searched in turn; one that is, does not. Template
    // contents are inert and skipped.
    std::vector<PluginObject> pluginObjects() const;

    // The src of each <iframe> and <frame> that has one, in document order, cleaned as URLs are.
    std::vector<std::string> frameSources() const;

    // The href of each <a> and <area> that has one, in document order, cleaned as URLs are.
    std::vector<std::string> linkTargets() const;

    // Attribute text that holds a URL, cleaned as browsers clean it: surrounding whitespace
    // trimmed, tabs and line breaks dropped, other spaces and control bytes percent-encoded.
    static std::string CleanURLText(std::string_view text);

    // Bounds what the parser may hold at once in this process from now on (0: no bound). Past
    // it, an allocation goes the way operator new goes out of memory (the new handler, else
    // abort). For a process that only reads one page: the count is not shared between threads.
    static void LimitParserMemory(size_t bytes);

private:
    struct OutputDeleter {
        void operator()(GumboInternalOutput* output) const;
    };
    std::string m_html; // the parse points into it
    std::unique_ptr<GumboInternalOutput, OutputDeleter> m_output;
};

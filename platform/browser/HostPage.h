#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/Geometry.h"
#include "foundation/Outcome.h"
#include "foundation/URL.h"
#include "runtime/NSObject.h"

class DOMElement;

// One page of the host, whichever engine reads it: the plug-in objects it holds and one plug-in
// view per object, made through the runtime with the initialiser the plug-in view class offers
// (the DOMElement form first, else the element form; without either the host shows no
// plug-ins). The page keeps its views until it loads another page or goes away. An engine may
// finish loading later than load() returns; finished() and the finish handler say when. Main
// thread only: the views' initialisers are plug-in code.
class HostPage {
public:
    // What a load that did not fail came to. A failed one is a Failure: "Could not load <URL>"
    // and the reason.
    struct Loaded {
        size_t pluginViewCount = 0;
        // For a page that loaded but was cut short (its time limit, too many objects): what
        // happened, naming the URL. What was found is kept.
        std::string notice;
    };
    static Failure CouldNotLoad(const std::string& urlText, std::string why) {
        return {"Could not load " + urlText, std::move(why)};
    }

    // A page holding more plug-in objects than this has the rest ignored, and is ended.
    static constexpr size_t kMostPluginObjects = 5000;

    HostPage() = default;
    virtual ~HostPage() = default;
    HostPage(const HostPage&) = delete;
    HostPage& operator=(const HostPage&) = delete;
    HostPage(HostPage&&) = delete;
    HostPage& operator=(HostPage&&) = delete;

    // Starts loading (an engine without scripts finishes before it returns). What it answers is
    // the result so far: a failure to start, or ok.
    virtual Outcome<Loaded> load(const URL& pageURL) = 0;
    // As above, for URL text as typed; text that is not a URL fails, naming it.
    Outcome<Loaded> load(std::string_view pageURLText);
    // Stops watching the page for new objects (a page that runs scripts keeps its tab until
    // then); what it found stays. Nothing for an engine without scripts.
    virtual void stop() {}

    bool finished() const { return m_result.has_value(); }
    // The final result; only once finished().
    const Outcome<Loaded>& result() const { return *m_result; }
    // Runs once, when the page finishes (at once if it already has).
    void setFinishHandler(std::function<void()> handler);

    // The page's own URL after redirects, and the URL its references resolve against (its
    // first <base href>, else the document URL). Empty until a page has loaded.
    const std::optional<URL>& documentURL() const { return m_documentURL; }
    const std::optional<URL>& baseURL() const { return m_baseURL; }
    // The initialised plug-in views, in the order their objects were found.
    const std::vector<Ref<NSObject>>& pluginViews() const { return m_pluginViews; }
    // Every plug-in object found, by its URL resolved against its base (as written when it does
    // not resolve; empty when it names none), whether or not a view was made for it.
    const std::vector<std::string>& pluginObjectURLs() const { return m_pluginObjectURLs; }

    // A page's links beyond this are not kept (a page may link to a million).
    static constexpr size_t kMostLinks = 10'000;
    // Where the page leads, resolved: its links (<a>, <area>) and its frames' documents, in
    // document order, each once, at most kMostLinks. Kept by engines that read links.
    const std::vector<std::string>& links() const { return m_links; }

protected:
    // A new load, even a failed one, replaces the page shown before.
    void clear();
    void addLink(const URL& link);
    void setDocument(URL document, URL base);
    // Records the object and makes its view. False, with nothing made, once the page holds
    // kMostPluginObjects.
    bool addPluginObject(const Ref<DOMElement>& element, const std::string& mimeType,
                         const std::optional<URL>& url, const std::string& urlText, const URL& base,
                         NSRect frame);
    void finish(Outcome<Loaded> result);

private:
    // What the player would have been told besides the movie (embedded_movies).
    void RecordOrigin(const DOMElement& element, const URL& movie, const URL& base) const;

    std::optional<URL> m_documentURL;
    std::optional<URL> m_baseURL;
    std::vector<Ref<NSObject>> m_pluginViews;
    std::vector<std::string> m_pluginObjectURLs;
    std::vector<std::string> m_links;
    std::unordered_set<std::string> m_linkSet;
    std::optional<Outcome<Loaded>> m_result;
    std::function<void()> m_finishHandler;
};

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/PageFetcher.h"
#include "runtime/NSObject.h"

struct PluginObject;

// One frame of the host: loads a page (and the pages of its frames, one level deep, in the
// character set each declares) and creates one plug-in view per plug-in object on them,
// through the runtime, with the initialiser the plug-in view class offers (the DOMElement form
// first, else the element form; without either the host shows no plug-ins). The frame keeps
// the page's plug-in views until it loads another page or goes away. Main thread only: the
// views' initialisers are plug-in code.
class WebPageLoader {
public:
    struct Result {
        bool ok = false;
        std::string error; // names the URL and the reason when not ok
        size_t pluginViewCount = 0;
    };

    WebPageLoader() : WebPageLoader(PageFetcher::Options()) {}
    explicit WebPageLoader(PageFetcher::Options options) : m_options(options) {}

    Result load(const URL& pageURL);
    // As above, for URL text as typed.
    Result load(std::string_view pageURLText);

    // The page's own URL after redirects, and the URL its references resolve against (its
    // first <base href>, else the document URL). Empty until a page has loaded.
    const std::optional<URL>& documentURL() const { return m_documentURL; }
    const std::optional<URL>& baseURL() const { return m_baseURL; }
    // The initialised plug-in views, in document order.
    const std::vector<Ref<NSObject>>& pluginViews() const { return m_pluginViews; }
    // Every plug-in object of the page, in document order (then those of its frames, frame by
    // frame), by its URL resolved against the
    // base URL (as written when it does not resolve; empty when it names none), whether or not
    // a view was made for it.
    const std::vector<std::string>& pluginObjectURLs() const { return m_pluginObjectURLs; }

    // A page holding more frames than this has the rest ignored.
    static constexpr size_t kMostFrames = 50;

private:
    struct Frame;
    static Frame ReadFrame(const PageFetcher::Result& page);
    // URL text of a document in `charset`, resolved as a browser resolves it.
    static std::optional<URL> Resolve(const std::string& urlText, const URL& base,
                                      const std::string& charset);
    void AddPluginObjects(const Frame& frame);
    // A new load, even a failed one, replaces the page shown before.
    void clear();
    Ref<NSObject> makePluginView(const PluginObject& object, const std::optional<URL>& url,
                                 const URL& base) const;

    PageFetcher::Options m_options;
    std::optional<URL> m_documentURL;
    std::optional<URL> m_baseURL;
    std::vector<Ref<NSObject>> m_pluginViews;
    std::vector<std::string> m_pluginObjectURLs;
};

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser/PageFetcher.h"
#include "runtime/NSObject.h"

struct PluginObject;

// One frame of the host: loads a page and creates one plug-in view per plug-in object on it,
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
    // Every plug-in object of the page, in document order, by its URL resolved against the
    // base URL (as written when it does not resolve; empty when it names none), whether or not
    // a view was made for it.
    const std::vector<std::string>& pluginObjectURLs() const { return m_pluginObjectURLs; }

private:
    // A new load, even a failed one, replaces the page shown before.
    void clear();
    Ref<NSObject> makePluginView(const PluginObject& object) const;

    PageFetcher::Options m_options;
    std::optional<URL> m_documentURL;
    std::optional<URL> m_baseURL;
    std::vector<Ref<NSObject>> m_pluginViews;
    std::vector<std::string> m_pluginObjectURLs;
};

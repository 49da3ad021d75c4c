#include "browser/WebPageLoader.h"

#include <charconv>
#include <cmath>
#include <memory>

#include "browser/ASCIIText.h"
#include "browser/HTMLDocument.h"
#include "browser/PageCharset.h"
#include "browser/PluginObject.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "browser/WebPluginPackage.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSArray.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/NSURL.h"
#include "runtime/MessageSend.h"

namespace {

// A plain non-negative number ("550", "12.5"); anything else (percentages, units, signs,
// overflow) is 0.
float Dimension(const DOMElement& element, std::string_view name) {
    const std::string text = element.getAttribute(name);
    const std::string_view trimmed = ascii::Trim(text);
    if (trimmed.empty() || !(trimmed.front() >= '0' && trimmed.front() <= '9')) {
        return 0;
    }
    float value = 0;
    const char* end = trimmed.data() + trimmed.size();
    auto [stop, error] = std::from_chars(trimmed.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(value)) {
        return 0;
    }
    return value;
}

Ref<NSArray> Strings(const std::vector<DOMElement::Attribute>& attributes, bool names) {
    std::vector<Ref<NSObject>> strings;
    strings.reserve(attributes.size());
    for (const auto& [name, value] : attributes) {
        strings.emplace_back(NSString::stringWithString(names ? name : value));
    }
    return MakeRef<NSArray>(std::move(strings));
}

// The selector to initialise views with, or null when the class offers neither form.
SEL PluginViewInitialiser(Class cls) {
    for (const char* name : {WebBaseNetscapePluginView::kDOMElementInitialiser,
                             WebBaseNetscapePluginView::kElementInitialiser}) {
        SEL selector = sel_registerName(name);
        if (cls != nullptr && instancesRespondToSelector(cls, selector)) {
            return selector;
        }
    }
    return nullptr;
}

} // namespace

WebPageLoader::Result WebPageLoader::load(std::string_view pageURLText) {
    std::optional<URL> url = URL::URLWithString(ascii::Trim(pageURLText));
    if (!url) {
        clear();
        return {false, "Could not load " + std::string(pageURLText) + ": not a valid URL", 0};
    }
    return load(*url);
}

// One fetched document, read in its own character set.
struct WebPageLoader::Frame {
    URL base;
    std::string charset;
    std::unique_ptr<HTMLDocument> document;
};

WebPageLoader::Frame WebPageLoader::ReadFrame(const PageFetcher::Result& page) {
    Frame frame{*page.documentURL, page_charset::Declared(page.contentType, page.body), nullptr};
    frame.document = std::make_unique<HTMLDocument>(page_charset::ToUTF8(page.body, frame.charset));
    if (std::optional<std::string> href = frame.document->baseHref()) {
        if (std::optional<URL> base = Resolve(*href, *page.documentURL, frame.charset)) {
            frame.base = std::move(*base);
        }
    }
    return frame;
}

std::optional<URL> WebPageLoader::Resolve(const std::string& urlText, const URL& base,
                                          const std::string& charset) {
    if (urlText.empty()) {
        return std::nullopt;
    }
    return URL::URLWithStringRelativeTo(page_charset::QueryInCharset(urlText, charset), base);
}

WebPageLoader::Result WebPageLoader::load(const URL& pageURL) {
    HVX_ASSERT_MAIN_THREAD();
    clear();

    PageFetcher::Result page = PageFetcher::Fetch(pageURL, m_options);
    if (!page.ok) {
        return {false, page.error, 0};
    }
    m_documentURL = page.documentURL;
    const Frame main = ReadFrame(page);
    m_baseURL = main.base;
    AddPluginObjects(main);

    // Ads came in frames: the page's frames are loaded too, one level deep, with the same
    // limits. A frame that fails costs only its own movies. A web page's frame may not reach
    // local files, as in a browser.
    size_t frames = 0;
    for (const std::string& src : main.document->frameSources()) {
        std::optional<URL> frameURL = Resolve(src, main.base, main.charset);
        if (!frameURL || (!frameURL->IsHTTP() &&
                          !(frameURL->scheme() == "file" && m_documentURL->scheme() == "file"))) {
            continue;
        }
        if (++frames > kMostFrames) {
            break;
        }
        PageFetcher::Result framePage = PageFetcher::Fetch(*frameURL, m_options);
        if (framePage.ok) {
            AddPluginObjects(ReadFrame(framePage));
        }
    }
    return {true, std::string(), m_pluginViews.size()};
}

void WebPageLoader::AddPluginObjects(const Frame& frame) {
    for (const PluginObject& object : frame.document->pluginObjects()) {
        std::optional<URL> resolved = Resolve(object.urlText, frame.base, frame.charset);
        m_pluginObjectURLs.push_back(resolved ? resolved->absoluteString() : object.urlText);
        if (Ref<NSObject> view = makePluginView(object, resolved, frame.base)) {
            m_pluginViews.push_back(std::move(view));
        }
    }
}

void WebPageLoader::clear() {
    m_documentURL.reset();
    m_baseURL.reset();
    m_pluginViews.clear();
    m_pluginObjectURLs.clear();
}

Ref<NSObject> WebPageLoader::makePluginView(const PluginObject& object,
                                            const std::optional<URL>& url, const URL& base) const {
    Class cls = NSClassFromString(WebBaseNetscapePluginView::kClassName);
    SEL initialiser = PluginViewInitialiser(cls);
    if (initialiser == nullptr) {
        return nullptr;
    }
    const DOMElement& element = *object.element;
    const NSRect frame =
        NSMakeRect(0, 0, Dimension(element, "width"), Dimension(element, "height"));
    const Ref<WebPluginPackage> package = WebPluginPackage::PackageFor(object.mimeType, url);
    const Ref<NSURL> pluginURL = url ? MakeRef<NSURL>(*url) : nullptr;
    const Ref<NSURL> baseURL = MakeRef<NSURL>(base);
    const Ref<NSString> mimeType = NSString::stringWithString(object.mimeType);
    const Ref<NSArray> keys = Strings(element.attributes(), true);
    const Ref<NSArray> values = Strings(element.attributes(), false);

    // alloc, then init: keep what the initialiser answers, which need not be the object made.
    const Ref<NSObject> view = class_createInstance(cls);
    id initialised = objc_msgSend<id>(view.get(), initialiser, frame, package.get(),
                                      pluginURL.get(), baseURL.get(), mimeType.get(), keys.get(),
                                      values.get(), false, object.element.get());
    return initialised;
}

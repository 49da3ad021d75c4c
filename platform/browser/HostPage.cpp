#include "browser/HostPage.h"

#include "browser/ASCIIText.h"
#include "browser/DOMElement.h"
#include "browser/EmbeddedMovies.h"
#include "browser/UnfetchableMovie.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "browser/WebPluginPackage.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSArray.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/NSURL.h"
#include "runtime/MessageSend.h"
#include "webkit/DownloadActivity.h"

namespace {

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

Outcome<HostPage::Loaded> HostPage::load(std::string_view pageURLText) {
    std::optional<URL> url = URL::URLWithString(ascii::Trim(pageURLText));
    if (!url) {
        clear();
        finish(CouldNotLoad(std::string(pageURLText), "not a valid URL"));
        return result();
    }
    return load(*url);
}

void HostPage::setFinishHandler(std::function<void()> handler) {
    if (finished()) {
        handler();
        return;
    }
    m_finishHandler = std::move(handler);
}

void HostPage::clear() {
    m_documentURL.reset();
    m_baseURL.reset();
    m_pluginViews.clear();
    m_pluginObjectURLs.clear();
    m_links.clear();
    m_linkSet.clear();
    m_result.reset();
}

void HostPage::addLink(const URL& link) {
    if (m_links.size() >= kMostLinks || !link.IsHTTP()) {
        return;
    }
    // A part of a page is the page.
    std::string page = link.absoluteString().substr(0, link.absoluteString().find('#'));
    if (m_linkSet.insert(page).second) {
        m_links.push_back(std::move(page));
    }
}

void HostPage::setDocument(URL document, URL base) {
    m_documentURL = std::move(document);
    m_baseURL = std::move(base);
}

void HostPage::finish(Outcome<Loaded> result) {
    if (result) {
        result.value().pluginViewCount = m_pluginViews.size();
    }
    m_result = std::move(result);
    if (std::function<void()> handler = std::move(m_finishHandler)) {
        m_finishHandler = nullptr;
        handler();
    }
}

void HostPage::RecordOrigin(const DOMElement& element, const URL& movie, const URL& base) const {
    embedded_movies::Origin origin;
    origin.page = m_documentURL ? m_documentURL->absoluteString() : base.absoluteString();
    if (element.hasAttribute("base")) {
        const std::optional<URL> resolved =
            URL::URLWithStringRelativeTo(ascii::Trim(element.getAttribute("base")), base);
        origin.base = resolved ? resolved->absoluteString() : std::string();
    }
    origin.flashvars = element.getAttribute("flashvars");
    embedded_movies::Record(movie.absoluteString(), origin);
}

bool HostPage::addPluginObject(const Ref<DOMElement>& element, const std::string& mimeType,
                               const std::optional<URL>& url, const std::string& urlText,
                               const URL& base, NSRect frame) {
    HVX_ASSERT_MAIN_THREAD();
    if (m_pluginObjectURLs.size() >= kMostPluginObjects) {
        return false;
    }
    m_pluginObjectURLs.push_back(url ? url->absoluteString() : urlText);
    if (url) {
        RecordOrigin(*element, *url, base);
    }

    Class cls = NSClassFromString(WebBaseNetscapePluginView::kClassName);
    SEL initialiser = PluginViewInitialiser(cls);
    if (initialiser == nullptr) {
        return true;
    }
    // Such an address reaches the plug-in as no URL at all, so no plug-in can refuse it: the
    // host reports the movie as the plug-in reports those it refuses.
    if (!url) {
        if (std::optional<DownloadActivity::Loss> loss =
                unfetchable_movie::LossFor(urlText, mimeType)) {
            DownloadActivity::Shared().Refused(std::move(loss->url), std::move(loss->reason));
        }
    }
    const Ref<WebPluginPackage> package = WebPluginPackage::PackageFor(mimeType, url);
    const Ref<NSURL> pluginURL = url ? MakeRef<NSURL>(*url) : nullptr;
    const Ref<NSURL> baseURL = MakeRef<NSURL>(base);
    const Ref<NSString> type = NSString::stringWithString(mimeType);
    const Ref<NSArray> keys = Strings(element->attributes(), true);
    const Ref<NSArray> values = Strings(element->attributes(), false);

    // alloc, then init: keep what the initialiser answers, which need not be the object made.
    const Ref<NSObject> view = class_createInstance(cls);
    id initialised =
        objc_msgSend<id>(view.get(), initialiser, frame, package.get(), pluginURL.get(),
                         baseURL.get(), type.get(), keys.get(), values.get(), false, element.get());
    if (Ref<NSObject> made = initialised) {
        m_pluginViews.push_back(std::move(made));
    }
    return true;
}

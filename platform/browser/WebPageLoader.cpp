#include "browser/WebPageLoader.h"

#include <memory>

#include "browser/HTMLDocument.h"
#include "browser/PageCharset.h"
#include "browser/PluginObject.h"
#include "foundation/RunLoop.h"

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
    Result result = Loaded(pageURL);
    finish(result);
    return this->result();
}

WebPageLoader::Result WebPageLoader::Loaded(const URL& pageURL) {
    PageFetcher::Result page = PageFetcher::Fetch(pageURL, m_options);
    if (!page.ok) {
        return Result::Failed(page.error);
    }
    const Frame main = ReadFrame(page);
    setDocument(*page.documentURL, main.base);
    AddPluginObjects(main);

    // Ads came in frames: the page's frames are loaded too, one level deep, with the same
    // limits. A frame that fails costs only its own movies. A web page's frame may not reach
    // local files, as in a browser.
    size_t frames = 0;
    for (const std::string& src : main.document->frameSources()) {
        std::optional<URL> frameURL = Resolve(src, main.base, main.charset);
        if (!frameURL || (!frameURL->IsHTTP() && !(frameURL->scheme() == "file" &&
                                                   page.documentURL->scheme() == "file"))) {
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
    return Result::Loaded();
}

void WebPageLoader::AddPluginObjects(const Frame& frame) {
    for (const PluginObject& object : frame.document->pluginObjects()) {
        std::optional<URL> resolved = Resolve(object.urlText, frame.base, frame.charset);
        const DOMElement& element = *object.element;
        const NSRect rect =
            NSMakeRect(0, 0, element.dimension("width"), element.dimension("height"));
        if (!addPluginObject(object.element, object.mimeType, resolved, object.urlText, frame.base,
                             rect)) {
            return;
        }
    }
}

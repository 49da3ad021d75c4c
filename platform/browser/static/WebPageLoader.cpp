#include "browser/static/WebPageLoader.h"

#include "browser/MovieDocument.h"
#include "browser/static/PageCharset.h"
#include "browser/static/PluginObject.h"
#include "foundation/RunLoop.h"

// One fetched document, read in its own character set.
struct WebPageLoader::Frame {
    URL base;
    std::string charset;
    PageOutline outline;
};

Outcome<WebPageLoader::Frame> WebPageLoader::ReadFrame(const PageFetcher::Page& page,
                                                       Deadline deadline) const {
    std::string charset = page_charset::Declared(page.contentType, page.body);
    IsolatedPageReader::Limits limits;
    limits.timeLimit = m_options.timeout;
    limits.deadline = deadline;
    Outcome<PageOutline> outline =
        IsolatedPageReader::Read(page_charset::ToUTF8(page.body, charset), limits);
    if (!outline) {
        return outline.failure();
    }
    Frame frame{page.documentURL, std::move(charset), std::move(outline.value())};
    if (frame.outline.baseHref) {
        if (std::optional<URL> base =
                Resolve(*frame.outline.baseHref, page.documentURL, frame.charset)) {
            frame.base = std::move(*base);
        }
    }
    return frame;
}

PageFetcher::Options WebPageLoader::Until(Deadline deadline) const {
    PageFetcher::Options options = m_options;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    // Never zero, which libcurl reads as "no limit".
    options.timeout = std::max(left, std::chrono::milliseconds(1));
    options.connectTimeout = std::min(options.connectTimeout, options.timeout);
    return options;
}

std::optional<URL> WebPageLoader::Resolve(const std::string& urlText, const URL& base,
                                          const std::string& charset) {
    if (urlText.empty()) {
        return std::nullopt;
    }
    return URL::URLWithStringRelativeTo(page_charset::QueryInCharset(urlText, charset), base);
}

Outcome<HostPage::Loaded> WebPageLoader::load(const URL& pageURL) {
    HVX_ASSERT_MAIN_THREAD();
    clear();
    finish(Read(pageURL));
    return result();
}

Outcome<HostPage::Loaded> WebPageLoader::Read(const URL& pageURL) {
    const Deadline deadline = std::chrono::steady_clock::now() + m_options.timeout;
    Outcome<PageFetcher::Page> fetched = PageFetcher::Fetch(pageURL, Until(deadline));
    if (!fetched) {
        return CouldNotLoad(fetched.failure().what, fetched.failure().why);
    }
    const PageFetcher::Page& page = fetched.value();
    if (std::optional<std::string> type = movie_document::MovieType(page.contentType, page.body)) {
        const URL& movie = page.documentURL;
        setDocument(movie, movie);
        addPluginObject(movie_document::FullPageEmbed(movie, *type), *type, movie,
                        movie.absoluteString(), movie, NSMakeRect(0, 0, 0, 0));
        return Loaded{};
    }
    Outcome<Frame> main = ReadFrame(page, deadline);
    if (!main) {
        return CouldNotLoad(pageURL.absoluteString(), main.failure().why);
    }
    setDocument(page.documentURL, main.value().base);
    AddPluginObjects(main.value());
    // Where the page leads (for a crawl): its links, and its frames' below.
    AddLinks(main.value().outline.links, main.value());

    // Ads came in frames: the page's frames are loaded too, one level deep, within the page's
    // time. A frame that fails costs only its own movies. A web page's frame may not reach local
    // files, as in a browser.
    size_t frames = 0;
    bool outOfTime = false;
    for (const std::string& src : main.value().outline.frameSources) {
        std::optional<URL> frameURL = Resolve(src, main.value().base, main.value().charset);
        if (!frameURL || (!frameURL->IsHTTP() &&
                          !(frameURL->scheme() == "file" && page.documentURL.scheme() == "file"))) {
            continue;
        }
        // A frame read with its page is part of it: its links are the page's. One not read is
        // a page of its own, to be crawled as such.
        outOfTime = outOfTime || std::chrono::steady_clock::now() >= deadline;
        if (++frames > kMostFrames || outOfTime) {
            addLink(*frameURL);
            continue;
        }
        Outcome<PageFetcher::Page> framePage = PageFetcher::Fetch(*frameURL, Until(deadline));
        Outcome<Frame> frame = framePage ? ReadFrame(framePage.value(), deadline)
                                         : Outcome<Frame>(framePage.failure());
        if (!frame) {
            addLink(*frameURL);
            continue;
        }
        AddPluginObjects(frame.value());
        AddLinks(frame.value().outline.links, frame.value());
        AddLinks(frame.value().outline.frameSources, frame.value());
    }
    if (outOfTime) {
        return Loaded{0, pageURL.absoluteString() +
                             ": the page's time limit ended before all its frames were read"};
    }
    return Loaded{};
}

void WebPageLoader::AddLinks(const std::vector<std::string>& texts, const Frame& frame) {
    for (const std::string& text : texts) {
        if (std::optional<URL> link = Resolve(text, frame.base, frame.charset)) {
            addLink(*link);
        }
    }
}

void WebPageLoader::AddPluginObjects(const Frame& frame) {
    for (const PluginObject& object : frame.outline.pluginObjects) {
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

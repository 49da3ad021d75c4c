#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "browser/HostPage.h"
#include "browser/PageFetcher.h"
#include "browser/static/IsolatedPageReader.h"
#include "foundation/Outcome.h"

// The static engine: fetches a page (and the pages of its frames, one level deep, in the
// character set each declares), parses it without running scripts and makes the views of its
// plug-in objects in document order, then those of its frames, frame by frame. Each document is
// parsed in a process of its own (IsolatedPageReader); the page's time limit covers fetching and
// reading it and its frames. A page that is a movie holds that movie as one full-page <embed>.
// load() finishes the page before it returns.
class WebPageLoader : public HostPage {
public:
    WebPageLoader() : WebPageLoader(PageFetcher::Options()) {}
    explicit WebPageLoader(PageFetcher::Options options) : m_options(options) {}

    using HostPage::load;
    Outcome<Loaded> load(const URL& pageURL) override;

    // A page holding more frames than this has the rest ignored.
    static constexpr size_t kMostFrames = 50;

private:
    using Deadline = std::chrono::steady_clock::time_point;
    struct Frame;
    Outcome<Frame> ReadFrame(const PageFetcher::Page& page, Deadline deadline) const;
    // Fetch options with whatever is left of the page's time.
    PageFetcher::Options Until(Deadline deadline) const;
    // URL text of a document in `charset`, resolved as a browser resolves it.
    static std::optional<URL> Resolve(const std::string& urlText, const URL& base,
                                      const std::string& charset);
    void AddPluginObjects(const Frame& frame);
    // Links named in `frame` (resolved against it) as the page's.
    void AddLinks(const std::vector<std::string>& texts, const Frame& frame);
    Outcome<Loaded> Read(const URL& pageURL);

    PageFetcher::Options m_options;
};

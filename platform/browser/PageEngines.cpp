#include "browser/PageEngines.h"

#include "browser/static/StaticEngine.h"

namespace page_engines {

std::unique_ptr<PageEngine> Static(PageFetcher::Options options) {
    return std::make_unique<StaticEngine>(options);
}

} // namespace page_engines

#include "browser/PageEngines.h"
#include "browser/chromium/ChromiumEngine.h"

namespace page_engines {

Outcome<std::unique_ptr<PageEngine>> Chromium(ChromiumOptions options) {
    Outcome<std::unique_ptr<ChromiumEngine>> engine = ChromiumEngine::Start(std::move(options));
    if (!engine) {
        return engine.failure();
    }
    return std::unique_ptr<PageEngine>(std::move(engine.value()));
}

} // namespace page_engines

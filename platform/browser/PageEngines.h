#pragma once

#include <memory>

#include "browser/PageEngine.h"
#include "browser/PageFetcher.h"
#include "browser/chromium/ChromiumOptions.h"
#include "foundation/Outcome.h"

// The one place that makes engines by name; everything else holds a PageEngine.
namespace page_engines {

// Reads pages without running their scripts, each within the options' time limit.
std::unique_ptr<PageEngine> Static(PageFetcher::Options options = {});
// Starts Chromium; fails, naming why, when it is not installed or will not start. Lives in the
// Chromium engine's own library (swfharvex_chromium), which only what runs page scripts links.
Outcome<std::unique_ptr<PageEngine>> Chromium(ChromiumOptions options);

} // namespace page_engines

// Feeds arbitrary bytes to the static engine's page reading as a page: the plug-in objects, the
// frames and the base address it finds, and the URL cleaning their attributes go through.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "browser/static/HTMLDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    HTMLDocument document(html);
    size_t seen = document.baseHref().value_or("").size();
    for (const PluginObject& object : document.pluginObjects()) {
        seen += object.urlText.size() + object.mimeType.size();
    }
    for (const std::string& source : document.frameSources()) {
        seen += source.size();
    }
    seen += HTMLDocument::CleanURLText(html).size();
    // Kept, so the walks are not optimised away.
    volatile size_t sink = seen;
    (void)sink;
    return 0;
}

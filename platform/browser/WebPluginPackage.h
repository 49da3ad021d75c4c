#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/URL.h"
#include "runtime/NSObject.h"

// A plug-in the host knows: its name, where it lives and the MIME types it handles. The host
// has no real plug-ins; the package only tells a plug-in view which one it stands for.
class WebPluginPackage : public NSObject {
public:
    WebPluginPackage();
    WebPluginPackage(std::string name, std::string path, std::vector<std::string> mimeTypes);
    static Class ClassObject();

    // Flash for its MIME types, or for a ".swf" URL when the page gives no type; the default
    // plug-in for anything else. Each answer is one shared package, as in a plug-in database.
    static Ref<WebPluginPackage> PackageFor(std::string_view mimeType,
                                            const std::optional<URL>& url);
    static Ref<WebPluginPackage> FlashPackage();
    static Ref<WebPluginPackage> DefaultPackage();

    const std::string& name() const { return m_name; }
    const std::string& path() const { return m_path; }
    const std::vector<std::string>& mimeTypes() const { return m_mimeTypes; }
    // Ignores case and parameters: "Application/X-Shockwave-Flash; v=9" is Flash's.
    bool handlesMIMEType(std::string_view mimeType) const;

private:
    std::string m_name;
    std::string m_path;
    std::vector<std::string> m_mimeTypes; // lower-case
};

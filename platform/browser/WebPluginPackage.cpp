#include "browser/WebPluginPackage.h"

#include <algorithm>

#include "browser/ASCIIText.h"
#include "foundation/objects/RuntimeClass.h"

namespace {

// "Type/Subtype; parameters" → "type/subtype".
std::string Essence(std::string_view mimeType) {
    return ascii::ToLower(ascii::Trim(mimeType.substr(0, mimeType.find(';'))));
}

} // namespace

WebPluginPackage::WebPluginPackage() : NSObject(ClassObject()) {
}

WebPluginPackage::WebPluginPackage(std::string name, std::string path,
                                   std::vector<std::string> mimeTypes)
    : NSObject(ClassObject()), m_name(std::move(name)), m_path(std::move(path)),
      m_mimeTypes(std::move(mimeTypes)) {
    for (std::string& type : m_mimeTypes) {
        type = Essence(type);
    }
}

Class WebPluginPackage::ClassObject() {
    static Class cls =
        RegisterRuntimeClass<WebPluginPackage>("WebPluginPackage", NSObject::RootClass());
    return cls;
}

Ref<WebPluginPackage> WebPluginPackage::FlashPackage() {
    static const Ref<WebPluginPackage> flash = MakeRef<WebPluginPackage>(
        "Shockwave Flash", "/Library/Internet Plug-Ins/Flash Player.plugin",
        std::vector<std::string>{"application/x-shockwave-flash", "application/futuresplash",
                                 "application/vnd.adobe.flash.movie"});
    return flash;
}

Ref<WebPluginPackage> WebPluginPackage::DefaultPackage() {
    static const Ref<WebPluginPackage> fallback =
        MakeRef<WebPluginPackage>("Default Plug-in", "", std::vector<std::string>{});
    return fallback;
}

Ref<WebPluginPackage> WebPluginPackage::PackageFor(std::string_view mimeType,
                                                   const std::optional<URL>& url) {
    Ref<WebPluginPackage> flash = FlashPackage();
    if (!Essence(mimeType).empty()) {
        // A type the page states wins over what the URL looks like, as in browsers.
        return flash->handlesMIMEType(mimeType) ? flash : DefaultPackage();
    }
    if (url && ascii::EndsWithIgnoringCase(url->path(), ".swf")) {
        return flash;
    }
    return DefaultPackage();
}

bool WebPluginPackage::handlesMIMEType(std::string_view mimeType) const {
    const std::string essence = Essence(mimeType);
    return std::find(m_mimeTypes.begin(), m_mimeTypes.end(), essence) != m_mimeTypes.end();
}

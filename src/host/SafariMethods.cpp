#include "host/SafariMethods.h"

#include "fetch/HVXSWFDownload.h"
#include "foundation/FileManager.h"
#include "foundation/PathString.h"
#include "foundation/objects/NSURL.h"
#include "runtime/MessageSend.h"

namespace {

constexpr const char* kSelectorDOMElement =
    "initWithFrame:pluginPackage:URL:baseURL:MIMEType:"
    "attributeKeys:attributeValues:loadManually:DOMElement:";
constexpr const char* kSelectorElement = "initWithFrame:pluginPackage:URL:baseURL:MIMEType:"
                                         "attributeKeys:attributeValues:loadManually:element:";
constexpr const char* kReplacementPrefix = "sb_";

// The system's own pages embed their own movies, which are never caught.
bool IsOwnPage(id baseURL) {
    const auto* base = dynamic_cast<const NSURL*>(baseURL);
    if (base == nullptr) {
        return false;
    }
    std::string page = lastPathComponent(base->absoluteString());
    return page == "SWFBrowser.html" || page == "AdBrowser.html";
}

// Both initialisers do the same and differ only in the selector they call on to.
template <bool DOMElementForm>
id sb_init(id self, SEL /*cmd*/, NSRect frame, id pluginPackage, id URL, id baseURL, id MIMEType,
           id attributeKeys, id attributeValues, bool loadManually, id element) {
    CaptureSWFFromPlugin(URL, baseURL);
    // After the exchange, the "sb_" selector runs the host's own initialiser.
    static const SEL hostInitialiser =
        sel_registerName(std::string(kReplacementPrefix) +
                         (DOMElementForm ? kSelectorDOMElement : kSelectorElement));
    return objc_msgSend<id>(self, hostInitialiser, frame, pluginPackage, URL, baseURL, MIMEType,
                            attributeKeys, attributeValues, loadManually, element);
}

} // namespace

void RegisterSafariMethods() {
    Class root = NSObject::RootClass();
    class_defineMethod(root, std::string(kReplacementPrefix) + kSelectorDOMElement, &sb_init<true>);
    class_defineMethod(root, std::string(kReplacementPrefix) + kSelectorElement, &sb_init<false>);
}

void CaptureSWFFromPlugin(id pluginURL, id baseURL) {
    const auto* url = dynamic_cast<const NSURL*>(pluginURL);
    if (url == nullptr || IsOwnPage(baseURL)) {
        return;
    }
    std::string address = url->absoluteString();
    FileManager& files = FileManager::defaultManager();
    if (!files.fileExistsAtPath(m_downSWFPath)) {
        // Parents too: a home folder without "Documents" must not lose every capture.
        files.createDirectoryAtPath(m_downSWFPath, true);
    }
    std::string fileName = CapturedFileName(address);
    if (fileName.empty()) {
        return;
    }
    Ref<HVXSWFDownload> download = HVXSWFDownload::alloc();
    download->downloadSWF(address, CapturedSWFPath(fileName));
}

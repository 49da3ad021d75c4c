#include "listwindow/AdWebView.h"

#include "appkit/NSWorkspace.h"
#include "foundation/Log.h"
#include "foundation/URL.h"
#include "foundation/objects/NSString.h"
#include "runtime/MessageSend.h"

namespace {

void OnClickAdSWF(id self, SEL /*cmd*/, id url) {
    auto* text = dynamic_cast<NSString*>(url);
    dynamic_cast<AdWebView*>(self)->JSOnClickAdSWF(text == nullptr ? "" : text->UTF8String());
}

} // namespace

Class AdWebView::ClassObject() {
    static Class cls = [] {
        Class made =
            RegisterPageClass<AdWebView>("AdWebView", {{"JSOnClickAdSWF:", "OnClickAdSWF"}});
        class_defineMethod(made, "JSOnClickAdSWF:", &OnClickAdSWF);
        return made;
    }();
    return cls;
}

void AdWebView::JSOnClickAdSWF(const std::string& url) {
    // The page's links are web pages; any other scheme would let a page start local programs.
    std::optional<URL> parsed = URL::URLWithString(url);
    if (!parsed || (parsed->scheme() != "http" && parsed->scheme() != "https")) {
        NSLog("AdWebView: not opening '" + url + "': only http and https links are opened");
        return;
    }
    if (Outcome<> opened = NSWorkspace::sharedWorkspace().openURL(parsed->absoluteString());
        !opened) {
        NSLog("AdWebView: not opened: " + opened.failure().message());
    }
}

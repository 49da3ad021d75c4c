#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runtime/Selector.h"
#include "webkit/WebView.h"

// What the list window's two web views share: each exposes itself to its page as the global
// object "cocoaApp", calls the page's functions by name, and lets the page log and set its
// readiness flag "bSWFReady". Each subclass says which of its "JS"-prefixed methods its page
// may call, and under which name; the page reaches nothing else.
class HVXBridgedWebView : public WebView {
public:
    // A method the page may call: the native selector and the name the page knows it by.
    using PageMethod = std::pair<std::string, std::string>;

    static Class ClassObject();

    // Takes the window script object and exposes this view in it as "cocoaApp".
    void awakeFromNib();
    // Calls the page's global function `name` with the arguments in order; the answer, and any
    // failure (no page, no such function), are ignored.
    void ExcuteCommand(const std::string& name, const std::vector<std::string>& arguments);
    bool IsSWFReady() const { return bSWFReady; }
    void JSWriteCocoaAppLog(const std::string& message);

    Ref<WebScriptObject> m_winScriptObject;
    bool bSWFReady = false;

protected:
    explicit HVXBridgedWebView(Class isa) : WebView(isa) {}

    // Registers a subclass whose page may call "JSWriteCocoaAppLog:" as "WriteCocoaAppLog" and
    // the methods given, and may read and set "bSWFReady" and nothing else.
    template <typename T>
    static Class RegisterPageClass(const char* name, const std::vector<PageMethod>& pageMethods);

private:
    static void ExposeToPage(Class cls, const std::vector<PageMethod>& pageMethods);
};

#include "foundation/objects/RuntimeClass.h"

template <typename T>
Class HVXBridgedWebView::RegisterPageClass(const char* name,
                                           const std::vector<PageMethod>& pageMethods) {
    Class made = RegisterRuntimeClass<T>(name, ClassObject());
    ExposeToPage(made, pageMethods);
    return made;
}

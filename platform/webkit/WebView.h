#pragma once

#include <memory>
#include <string>

#include "runtime/NSObject.h"
#include "webkit/WebPageBackend.h"
#include "webkit/WebScriptObject.h"

// A view that shows one page. The page itself runs in a replaceable backend; the view keeps the
// URL it was asked to load and the window script object through which the two sides talk.
class WebView : public NSObject {
public:
    WebView() : WebView(ClassObject()) {}
    static Class ClassObject();

    // Records the URL and hands it to the backend, if any.
    void loadURL(std::string url);
    const std::string& mainFrameURL() const { return m_url; }
    WebScriptObject* windowScriptObject() const { return m_script.get(); }

    // Replaces the page; the new one is attached to the script object and loads the current URL.
    void setBackend(std::unique_ptr<WebPageBackend> backend);
    WebPageBackend* backend() const { return m_backend.get(); }

protected:
    // For runtime subclasses, which pass their own class.
    explicit WebView(Class isa);
    ~WebView() override;

private:
    std::string m_url;
    Ref<WebScriptObject> m_script;
    std::unique_ptr<WebPageBackend> m_backend;
};

#pragma once

#include <functional>
#include <memory>
#include <string>

#include "appkit/NSView.h"
#include "webkit/WebPageBackend.h"
#include "webkit/WebScriptObject.h"

// A view that shows one page. The page itself runs in a replaceable backend; the view keeps the
// URL it was asked to load and the window script object through which the two sides talk.
class WebView : public NSView {
public:
    // Given the view being made, so that a page can say whose it is.
    using BackendFactory = std::function<std::unique_ptr<WebPageBackend>(WebView&)>;

    WebView() : WebView(ClassObject()) {}
    static Class ClassObject();

    // Where the pages of views made from now on live (a test's scripted page, the front end's
    // browser frame). Without a factory a view has no page: loads are recorded, calls go nowhere.
    static void SetBackendFactory(BackendFactory factory);

    // Records the URL and hands it to the backend, if any. A URL without a scheme is a local
    // file's path, already escaped.
    void loadURL(std::string url);
    const std::string& mainFrameURL() const { return m_url; }
    WebScriptObject* windowScriptObject() const { return m_script.get(); }

    // Replaces the page; the new one is attached to the script object and loads the current URL.
    void setBackend(std::unique_ptr<WebPageBackend> backend);
    WebPageBackend* backend() const { return m_backend.get(); }

    nlohmann::json DescribeState() const override;

protected:
    // For runtime subclasses, which pass their own class.
    explicit WebView(Class isa);
    ~WebView() override;

private:
    std::string m_url;
    Ref<WebScriptObject> m_script;
    std::unique_ptr<WebPageBackend> m_backend;
};

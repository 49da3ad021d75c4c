#include "webkit/WebView.h"

#include "foundation/objects/RuntimeClass.h"

namespace {

WebView::BackendFactory& Factory() {
    static WebView::BackendFactory factory;
    return factory;
}

} // namespace

WebView::WebView(Class isa) : NSView(isa), m_script(MakeRef<WebScriptObject>()) {
    m_script->SetOwner(this);
    if (const BackendFactory& factory = Factory(); factory) {
        setBackend(factory(*this));
    }
}

WebView::~WebView() {
    // The script object may outlive the view in someone else's hands: it must forget both the
    // view it held weakly and the page that goes with the view.
    m_script->DetachOwner();
    if (m_backend) {
        m_backend->Attach(nullptr);
    }
}

Class WebView::ClassObject() {
    static Class cls = RegisterRuntimeClass<WebView>("WebView", NSView::ClassObject());
    return cls;
}

void WebView::SetBackendFactory(BackendFactory factory) {
    Factory() = std::move(factory);
}

void WebView::loadURL(std::string url) {
    m_url = std::move(url);
    if (m_backend) {
        m_backend->Load(m_url);
    }
    Changed();
}

void WebView::setBackend(std::unique_ptr<WebPageBackend> backend) {
    m_script->SetPage(nullptr);
    if (m_backend) {
        m_backend->Attach(nullptr);
    }
    m_backend = std::move(backend);
    if (!m_backend) {
        return;
    }
    m_backend->Attach(m_script);
    m_script->SetPage(m_backend.get());
    if (!m_url.empty()) {
        m_backend->Load(m_url);
    }
}

nlohmann::json WebView::DescribeState() const {
    nlohmann::json description = DescribeView();
    description["url"] = m_url;
    return description;
}

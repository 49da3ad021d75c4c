#include "browser/WebBaseNetscapePluginView.h"

#include <algorithm>

#include "runtime/MessageSend.h"

namespace {

std::vector<Ref<WebBaseNetscapePluginView>>& Views() {
    static std::vector<Ref<WebBaseNetscapePluginView>> views;
    return views;
}

} // namespace

WebBaseNetscapePluginView::WebBaseNetscapePluginView() {
    if (Class cls = NSClassFromString(kClassName)) {
        setIsa(cls);
    }
}

Class WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers initialisers) {
    UnregisterClass();
    Class cls = objc_registerClass(kClassName, NSObject::RootClass(),
                                   []() -> id { return new WebBaseNetscapePluginView(); });
    if (initialisers == PluginViewInitialisers::Both) {
        class_defineMethod(cls, kDOMElementInitialiser, &InitWithDOMElement);
    }
    if (initialisers != PluginViewInitialisers::None) {
        class_defineMethod(cls, kElementInitialiser, &InitWithElement);
    }
    return cls;
}

void WebBaseNetscapePluginView::UnregisterClass() {
    if (Class existing = NSClassFromString(kClassName)) {
        objc_disposeClass(existing);
    }
    ClearInitialisedViews();
}

const std::vector<Ref<WebBaseNetscapePluginView>>& WebBaseNetscapePluginView::InitialisedViews() {
    return Views();
}

void WebBaseNetscapePluginView::ClearInitialisedViews() {
    Views().clear();
}

id WebBaseNetscapePluginView::InitWithDOMElement(id self, SEL command, NSRect frame,
                                                 id pluginPackage, id url, id baseURL, id mimeType,
                                                 id attributeKeys, id attributeValues,
                                                 bool loadManually, id element) {
    return Initialise(self, command, kDOMElementInitialiser,
                      {frame, pluginPackage, url, baseURL, mimeType, attributeKeys, attributeValues,
                       loadManually, element});
}

id WebBaseNetscapePluginView::InitWithElement(id self, SEL command, NSRect frame, id pluginPackage,
                                              id url, id baseURL, id mimeType, id attributeKeys,
                                              id attributeValues, bool loadManually, id element) {
    return Initialise(self, command, kElementInitialiser,
                      {frame, pluginPackage, url, baseURL, mimeType, attributeKeys, attributeValues,
                       loadManually, element});
}

id WebBaseNetscapePluginView::Initialise(id self, SEL command, const char* initialiser,
                                         PluginViewArguments arguments) {
    // A bundle may exchange these implementations into other classes; only a real view can
    // keep what it was given, and anything else fails to initialise.
    auto* view = dynamic_cast<WebBaseNetscapePluginView*>(self);
    if (view == nullptr) {
        return nullptr;
    }
    view->m_initialiser = initialiser;
    view->m_command = command;
    view->m_arguments = std::move(arguments);
    std::vector<Ref<WebBaseNetscapePluginView>>& views = Views();
    if (std::find(views.begin(), views.end(), Ref<WebBaseNetscapePluginView>(view)) ==
        views.end()) {
        views.emplace_back(view);
    }
    return self;
}

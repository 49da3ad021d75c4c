#pragma once

#include <string>
#include <vector>

#include "browser/PluginViewArguments.h"
#include "runtime/Runtime.h"

// Which initialisers the host's plug-in view class offers: browsers of different ages had both,
// only the older element form, or neither (tests choose).
enum class PluginViewInitialisers { Both, ElementOnly, None };

// The host's plug-in view: one per plug-in object of a page. Its initialisers exist only in the
// runtime's method table, so whatever a loaded bundle exchanges there is what pages reach.
// The initialiser keeps its nine arguments and notes the view in a process-wide list, so that
// tests can see that the host's own initialiser ran, with what, and under which form.
// Main thread only.
class WebBaseNetscapePluginView : public NSObject {
public:
    static constexpr const char* kClassName = "WebBaseNetscapePluginView";
    static constexpr const char* kDOMElementInitialiser =
        "initWithFrame:pluginPackage:URL:baseURL:MIMEType:attributeKeys:attributeValues:"
        "loadManually:DOMElement:";
    static constexpr const char* kElementInitialiser =
        "initWithFrame:pluginPackage:URL:baseURL:MIMEType:attributeKeys:attributeValues:"
        "loadManually:element:";

    // Of the class registered under kClassName (the root class when there is none).
    WebBaseNetscapePluginView();

    // Registers the class afresh with the chosen initialisers: an earlier registration is
    // disposed (with whatever was exchanged into it) and the list of initialised views is
    // emptied. Answers the new class.
    static Class RegisterClass(PluginViewInitialisers initialisers);
    static void UnregisterClass();

    // Every view whose initialiser has run since the last registration or clearing, oldest
    // first. The list holds the views.
    static const std::vector<Ref<WebBaseNetscapePluginView>>& InitialisedViews();
    static void ClearInitialisedViews();

    bool isInitialised() const { return !m_initialiser.empty(); }
    // The host initialiser's own selector name (kDOMElementInitialiser or kElementInitialiser),
    // empty before initialisation.
    const std::string& initialiser() const { return m_initialiser; }
    // The selector the message arrived under: differs from initialiser() after an exchange.
    SEL command() const { return m_command; }
    const PluginViewArguments& arguments() const { return m_arguments; }

private:
    static id InitWithDOMElement(id self, SEL command, NSRect frame, id pluginPackage, id url,
                                 id baseURL, id mimeType, id attributeKeys, id attributeValues,
                                 bool loadManually, id element);
    static id InitWithElement(id self, SEL command, NSRect frame, id pluginPackage, id url,
                              id baseURL, id mimeType, id attributeKeys, id attributeValues,
                              bool loadManually, id element);
    static id Initialise(id self, SEL command, const char* initialiser,
                         PluginViewArguments arguments);

    std::string m_initialiser;
    SEL m_command = nullptr;
    PluginViewArguments m_arguments;
};

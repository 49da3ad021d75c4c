#include "host/HVXPlugIn.h"

#include <nlohmann/json.hpp>

#include "capture/CaptureRecords.h"
#include "fetch/HVXSWFDownload.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/PathString.h"
#include "foundation/defaults/NSBundle.h"
#include "foundation/objects/RuntimeClass.h"
#include "host/HVXMenuController.h"
#include "host/MethodSwizzle.h"
#include "host/SafariMethods.h"
#include "listwindow/HVXSWFListWindowController.h"
#include "prefs/HVXAboutWindowController.h"
#include "prefs/HVXPreferenceWindowController.h"
#include "prefs/PreferenceData.h"
#include "runtime/MessageSend.h"

namespace {

constexpr const char* kPluginViewClass = "WebBaseNetscapePluginView";
// Tried in this order: newer hosts hand plug-in views the DOM element.
constexpr const char* kCandidateInitialisers[] = {
    "initWithFrame:pluginPackage:URL:baseURL:MIMEType:attributeKeys:attributeValues:"
    "loadManually:DOMElement:",
    "initWithFrame:pluginPackage:URL:baseURL:MIMEType:attributeKeys:attributeValues:"
    "loadManually:element:",
};

void LoadMethod(id /*self*/, SEL /*cmd*/) {
    HVXPlugIn::load();
}

// How a host learns what was caught without reaching into the plug-in's memory.
std::string CapturedSWFListJSON(id /*self*/, SEL /*cmd*/) {
    nlohmann::json list = nlohmann::json::array();
    for (const CapturedSWF& entry : m_arraySWFUrl) {
        list.push_back({{"SWFName", entry.SWFName}, {"SWFAddress", entry.SWFAddress}});
    }
    // Names and addresses are bytes from the page; one that is not UTF-8 must not abort.
    return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

Class HVXPlugIn::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<HVXPlugIn>("HVXPlugIn", NSObject::RootClass());
        class_defineMethod(object_getClass(made), "load", &LoadMethod);
        class_defineMethod(object_getClass(made), "capturedSWFListJSON", &CapturedSWFListJSON);
        return made;
    }();
    return cls;
}

void HVXPlugIn::load() {
    NSBundle* host = NSBundle::mainBundle();
    if (host == nullptr || host->bundleIdentifier() != safariAppKey) {
        return;
    }
    HVXMenuController::sharedController();
    applicationDidFinishLaunching(nullptr);
}

void HVXPlugIn::applicationDidFinishLaunching(id /*notification*/) {
    FileManager::defaultManager().removeFileAtPath(CaptureFolderInHome(NSHomeDirectory()));

    Class pluginView = NSClassFromString(kPluginViewClass);
    const char* chosen = nullptr;
    for (const char* candidate : kCandidateInitialisers) {
        if (instancesRespondToSelector(pluginView, sel_registerName(candidate))) {
            chosen = candidate;
            break;
        }
    }
    if (chosen == nullptr) {
        NSLog("Error: couldn't find any compatible flash classes, flash will not work.");
        return;
    }
    swizzleMethods({{std::string(kPluginViewClass), std::string(chosen), true}});
}

void RegisterPlugInClasses() {
    InitialiseCaptureRecords();
    RegisterSafariMethods();
    HVXSWFDownload::ClassObject();
    HVXMenuController::ClassObject();
    HVXSWFListWindowController::ClassObject();
    HVXPreferenceWindowController::ClassObject();
    HVXAboutWindowController::ClassObject();
    PreferenceData::ClassObject();
    SwfWebView::ClassObject();
    AdWebView::ClassObject();
    HVXPlugIn::ClassObject();
}

#pragma once

#include "foundation/Geometry.h"
#include "runtime/NSObject.h"

// The nine values a plug-in view is initialised with, in the initialiser's order. Objects are
// held, so a view keeps what it was given for as long as it lives.
struct PluginViewArguments {
    NSRect frame;
    Ref<NSObject> pluginPackage;
    Ref<NSObject> pluginURL;       // NSURL, or null when the object names no usable URL
    Ref<NSObject> baseURL;         // NSURL
    Ref<NSObject> mimeType;        // NSString, empty when the page gives none
    Ref<NSObject> attributeKeys;   // NSArray of NSString
    Ref<NSObject> attributeValues; // NSArray of NSString
    bool loadManually = false;
    Ref<NSObject> element; // DOMElement
};

#pragma once

#include <string>
#include <vector>

#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/objects/NSArray.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/NSURL.h"

// Reading back what a plug-in view was given.

// The URL's text, or "(nil)" when the view got none.
inline std::string URLText(const Ref<NSObject>& object) {
    const auto* url = dynamic_cast<const NSURL*>(object.get());
    return url == nullptr ? "(nil)" : url->absoluteString();
}

inline std::string Text(const Ref<NSObject>& object) {
    const auto* string = dynamic_cast<const NSString*>(object.get());
    return string == nullptr ? "(not a string)" : string->UTF8String();
}

inline std::vector<std::string> Texts(const Ref<NSObject>& object) {
    std::vector<std::string> texts;
    if (const auto* array = dynamic_cast<const NSArray*>(object.get())) {
        for (const Ref<NSObject>& item : array->objects()) {
            texts.push_back(Text(item));
        }
    }
    return texts;
}

inline const PluginViewArguments& ArgumentsOf(size_t index) {
    return WebBaseNetscapePluginView::InitialisedViews().at(index)->arguments();
}

// The plug-in URLs of every initialised view, in order.
inline std::vector<std::string> InitialisedURLs() {
    std::vector<std::string> urls;
    for (const auto& view : WebBaseNetscapePluginView::InitialisedViews()) {
        urls.push_back(URLText(view->arguments().pluginURL));
    }
    return urls;
}

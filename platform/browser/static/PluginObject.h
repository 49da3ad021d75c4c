#pragma once

#include <string>

#include "browser/DOMElement.h"

// An element of a page that the host instantiates as a plug-in, with what it needs to pick and
// feed the plug-in.
struct PluginObject {
    Ref<DOMElement> element;
    // The URL as the page wrote it, with the whitespace browsers ignore removed; empty when the
    // element names none.
    std::string urlText;
    // The `type` attribute as written; empty when absent.
    std::string mimeType;
};

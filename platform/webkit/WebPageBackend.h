#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/Ref.h"

class WebScriptObject;

// Where a web view's page lives: a real browser frame in the front end, a scripted stand-in in
// tests. The view owns its backend; the page reaches native objects only through the bridge it
// is attached to, which applies the exposed classes' rules.
class WebPageBackend {
public:
    WebPageBackend() = default;
    WebPageBackend(const WebPageBackend&) = delete;
    WebPageBackend& operator=(const WebPageBackend&) = delete;
    WebPageBackend(WebPageBackend&&) = delete;
    WebPageBackend& operator=(WebPageBackend&&) = delete;
    virtual ~WebPageBackend() = default;

    // The view's window script object; null detaches the page from the native side.
    virtual void Attach(Ref<WebScriptObject> bridge) = 0;
    virtual void Load(const std::string& url) = 0;
    // Calls the page's global function `name` with string arguments, in order. Empty when there
    // is no such function (or no page yet); the function's result otherwise.
    virtual std::optional<std::string> CallFunction(const std::string& name,
                                                    const std::vector<std::string>& args) = 0;
};

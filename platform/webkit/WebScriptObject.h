#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "runtime/NSObject.h"
#include "runtime/Selector.h"

class WebPageBackend;

// A property value as the page sees it: booleans and strings are what the bridge converts.
using WebScriptValue = std::variant<bool, std::string>;

// The global scope of a web view's page. The native side exposes objects under names and calls
// the page's functions; the page calls back through CallNative/GetProperty/SetProperty, which
// let it reach only what the exposed object's class allows through its class methods:
//   + (BOOL)isSelectorExcludedFromWebScript:(SEL)      "B@::"
//   + (std::string)webScriptNameForSelector:(SEL)      "{string}@::" (empty: default name)
//   + (BOOL)isKeyExcludedFromWebScript:(std::string)   "B@:{string}"
// A rule the class does not implement (or implements with another signature) excludes
// everything it would govern, so a class that says nothing exposes nothing.
class WebScriptObject : public NSObject {
public:
    WebScriptObject();
    static Class ClassObject();

    // Exposes `object` to the page under `key`, replacing what was there; nil removes the key.
    // The object is retained, except the view that owns this script object: that one is held
    // weakly, so that a view exposing itself (the usual case) is not kept alive by its page.
    void setValue(id object, const std::string& key);
    // Empty when there is no page or it has no such function.
    std::optional<std::string> callWebScriptMethod(const std::string& name,
                                                   const std::vector<std::string>& args);

    // Page side. The method or property must pass the exposed class's rules; a native method
    // is callable when it returns nothing and takes only objects, one per colon, and the page
    // gives exactly that many arguments (each arrives as an NSString). False when refused.
    bool CallNative(const std::string& exposedKey, const std::string& pageName,
                    const std::vector<std::string>& args);
    // Through the getter `key` ("B@:" or "{string}@:").
    std::optional<WebScriptValue> GetProperty(const std::string& exposedKey,
                                              const std::string& key);
    // Through the setter `setKey:` ("v@:B" or "v@:{string}"); the value's kind must match.
    bool SetProperty(const std::string& exposedKey, const std::string& key,
                     const WebScriptValue& value);

    // For the owning view: who it is (held weakly) and which page answers calls.
    void SetOwner(id owner);
    void SetPage(WebPageBackend* page) { m_page = page; }
    // The view is going away: drop every weak entry and the page.
    void DetachOwner();

    // What the page may use of one exposed object, asked of its class's rules: the methods it can
    // call (by page name, with how many string arguments) and the keys it can read and set.
    struct ScriptMethod {
        std::string name;
        size_t arguments = 0;
        friend bool operator==(const ScriptMethod&, const ScriptMethod&) = default;
    };
    struct ExposedInterface {
        std::string key;
        std::vector<ScriptMethod> methods;   // by name
        std::vector<std::string> properties; // sorted
    };
    // Every exposed object's interface, by key.
    std::vector<ExposedInterface> ScriptInterface() const;

    // The page-side name of a selector under the class's rules; empty when excluded.
    static std::string ScriptNameForSelector(Class cls, SEL selector);

private:
    struct Exposed {
        Ref<NSObject> held; // null for the weakly held owner
        id object = nullptr;
    };

    Ref<NSObject> Lookup(const std::string& exposedKey) const;
    // The one method the page knows by `pageName`, when it can be called with strings.
    static std::optional<std::pair<SEL, size_t>> CallableMethod(Class cls,
                                                                const std::string& pageName);
    static bool KeyAllowed(Class cls, const std::string& key);

    std::map<std::string, Exposed> m_exposed;
    id m_owner = nullptr;
    WebPageBackend* m_page = nullptr; // owned by the view, cleared before it goes
};

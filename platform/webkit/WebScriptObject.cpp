#include "webkit/WebScriptObject.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "foundation/objects/NSString.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"
#include "webkit/WebPageBackend.h"

namespace {

// A class method with exactly this signature, or null: a rule implemented with another
// signature cannot be asked safely, so it counts as absent.
Method RuleMethod(Class cls, std::string_view name, std::string_view encoding) {
    Method method = class_getClassMethod(cls, sel_registerName(name));
    if (method == nullptr || method_getTypeEncoding(method) != encoding) {
        return nullptr;
    }
    return method;
}

bool SelectorAllowed(Class cls, SEL selector) {
    if (RuleMethod(cls, "isSelectorExcludedFromWebScript:", "B@::") == nullptr) {
        return false;
    }
    return !objc_msgSend<bool>(cls, "isSelectorExcludedFromWebScript:", selector);
}

size_t ArgumentCount(SEL selector) {
    const std::string& name = selector->name;
    return static_cast<size_t>(std::count(name.begin(), name.end(), ':'));
}

// "v@:" followed by one object per argument: the only shape the page's strings can be sent as.
bool TakesObjects(Method method, size_t count) {
    return method_getTypeEncoding(method) == "v@:" + std::string(count, '@');
}

void SendWithStrings(id receiver, SEL selector, const std::vector<Ref<NSString>>& args) {
    switch (args.size()) {
    case 0:
        objc_msgSend<void>(receiver, selector);
        break;
    case 1:
        objc_msgSend<void>(receiver, selector, args[0].get());
        break;
    case 2:
        objc_msgSend<void>(receiver, selector, args[0].get(), args[1].get());
        break;
    case 3:
        objc_msgSend<void>(receiver, selector, args[0].get(), args[1].get(), args[2].get());
        break;
    default:
        break; // refused before sending
    }
}
constexpr size_t kMaxArguments = 3;

std::string SetterName(const std::string& key) {
    std::string name = "set" + key + ":";
    name[3] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[3])));
    return name;
}

} // namespace

WebScriptObject::WebScriptObject() : NSObject(ClassObject()) {
}

Class WebScriptObject::ClassObject() {
    static Class cls =
        RegisterRuntimeClass<WebScriptObject>("WebScriptObject", NSObject::RootClass());
    return cls;
}

void WebScriptObject::setValue(id object, const std::string& key) {
    if (object == nullptr) {
        m_exposed.erase(key);
        return;
    }
    Exposed entry;
    entry.object = object;
    if (object != m_owner) {
        entry.held = Ref<NSObject>(object);
    }
    m_exposed[key] = std::move(entry);
}

std::optional<std::string>
WebScriptObject::callWebScriptMethod(const std::string& name,
                                     const std::vector<std::string>& args) {
    if (m_page == nullptr) {
        return std::nullopt;
    }
    return m_page->CallFunction(name, args);
}

void WebScriptObject::SetOwner(id owner) {
    m_owner = owner;
}

void WebScriptObject::DetachOwner() {
    std::erase_if(m_exposed, [](const auto& item) { return !item.second.held; });
    m_owner = nullptr;
    m_page = nullptr;
}

Ref<NSObject> WebScriptObject::Lookup(const std::string& exposedKey) const {
    auto found = m_exposed.find(exposedKey);
    // Held for the length of the access: the native side may unexpose it meanwhile.
    return found == m_exposed.end() ? Ref<NSObject>() : Ref<NSObject>(found->second.object);
}

std::string WebScriptObject::ScriptNameForSelector(Class cls, SEL selector) {
    if (!SelectorAllowed(cls, selector)) {
        return {};
    }
    if (RuleMethod(cls, "webScriptNameForSelector:", "{string}@::") != nullptr) {
        auto name = objc_msgSend<std::string>(cls, "webScriptNameForSelector:", selector);
        if (!name.empty()) {
            return name;
        }
    }
    std::string name = selector->name;
    std::replace(name.begin(), name.end(), ':', '_');
    return name;
}

bool WebScriptObject::KeyAllowed(Class cls, const std::string& key) {
    if (key.empty() || RuleMethod(cls, "isKeyExcludedFromWebScript:", "B@:{string}") == nullptr) {
        return false;
    }
    return !objc_msgSend<bool>(cls, "isKeyExcludedFromWebScript:", key);
}

std::optional<std::pair<SEL, size_t>> WebScriptObject::CallableMethod(Class cls,
                                                                      const std::string& pageName) {
    if (pageName.empty()) {
        return std::nullopt;
    }
    // Every instance method of the class and its superclasses that the page knows by this name.
    std::set<SEL> matches;
    for (Class walk = cls; walk != nullptr; walk = class_getSuperclass(walk)) {
        for (const auto& [selector, method] : walk->methods) {
            if (ScriptNameForSelector(cls, selector) == pageName) {
                matches.insert(selector);
            }
        }
    }
    // Two methods under one name: the page cannot say which it meant, so neither is called.
    if (matches.size() != 1) {
        return std::nullopt;
    }
    SEL selector = *matches.begin();
    size_t count = ArgumentCount(selector);
    if (count > kMaxArguments || !TakesObjects(class_getInstanceMethod(cls, selector), count)) {
        return std::nullopt;
    }
    return std::make_pair(selector, count);
}

bool WebScriptObject::CallNative(const std::string& exposedKey, const std::string& pageName,
                                 const std::vector<std::string>& args) {
    Ref<NSObject> target = Lookup(exposedKey);
    if (!target) {
        return false;
    }
    auto callable = CallableMethod(object_getClass(target.get()), pageName);
    if (!callable || args.size() != callable->second) {
        return false;
    }
    std::vector<Ref<NSString>> strings;
    strings.reserve(args.size());
    for (const std::string& arg : args) {
        strings.push_back(NSString::stringWithString(arg));
    }
    SendWithStrings(target.get(), callable->first, strings);
    return true;
}

std::vector<WebScriptObject::ExposedInterface> WebScriptObject::ScriptInterface() const {
    std::vector<ExposedInterface> interfaces;
    for (const auto& [key, entry] : m_exposed) {
        ExposedInterface exposed{key, {}, {}};
        Class cls = object_getClass(entry.object);
        std::set<std::string> names;
        std::set<std::string> properties;
        for (Class walk = cls; walk != nullptr; walk = class_getSuperclass(walk)) {
            for (const auto& entry : walk->methods) {
                SEL selector = entry.first;
                if (std::string name = ScriptNameForSelector(cls, selector); !name.empty()) {
                    names.insert(std::move(name));
                }
                // A key the page may use is one with a getter the bridge can convert.
                const std::string_view encoding =
                    method_getTypeEncoding(class_getInstanceMethod(cls, selector));
                if (ArgumentCount(selector) == 0 &&
                    (encoding == "B@:" || encoding == "{string}@:") &&
                    KeyAllowed(cls, selector->name)) {
                    properties.insert(selector->name);
                }
            }
        }
        for (const std::string& name : names) {
            if (auto callable = CallableMethod(cls, name)) {
                exposed.methods.push_back({name, callable->second});
            }
        }
        exposed.properties.assign(properties.begin(), properties.end());
        interfaces.push_back(std::move(exposed));
    }
    return interfaces;
}

std::optional<WebScriptValue> WebScriptObject::GetProperty(const std::string& exposedKey,
                                                           const std::string& key) {
    Ref<NSObject> target = Lookup(exposedKey);
    if (!target || !KeyAllowed(object_getClass(target.get()), key)) {
        return std::nullopt;
    }
    Method getter = class_getInstanceMethod(object_getClass(target.get()), sel_registerName(key));
    if (getter == nullptr) {
        return std::nullopt;
    }
    std::string_view encoding = method_getTypeEncoding(getter);
    if (encoding == "B@:") {
        return objc_msgSend<bool>(target.get(), key);
    }
    if (encoding == "{string}@:") {
        return objc_msgSend<std::string>(target.get(), key);
    }
    return std::nullopt;
}

bool WebScriptObject::SetProperty(const std::string& exposedKey, const std::string& key,
                                  const WebScriptValue& value) {
    Ref<NSObject> target = Lookup(exposedKey);
    if (!target || !KeyAllowed(object_getClass(target.get()), key)) {
        return false;
    }
    std::string setterName = SetterName(key);
    Method setter =
        class_getInstanceMethod(object_getClass(target.get()), sel_registerName(setterName));
    if (setter == nullptr) {
        return false;
    }
    std::string_view encoding = method_getTypeEncoding(setter);
    if (const bool* flag = std::get_if<bool>(&value); flag != nullptr && encoding == "v@:B") {
        objc_msgSend<void>(target.get(), setterName, *flag);
        return true;
    }
    if (const std::string* text = std::get_if<std::string>(&value);
        text != nullptr && encoding == "v@:{string}") {
        objc_msgSend<void>(target.get(), setterName, *text);
        return true;
    }
    return false;
}

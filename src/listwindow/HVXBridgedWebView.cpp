#include "listwindow/HVXBridgedWebView.h"

#include <map>

#include "foundation/Log.h"
#include "foundation/objects/NSArray.h"
#include "foundation/objects/NSString.h"
#include "runtime/MemberMethod.h"

namespace {

constexpr const char* kLogSelector = "JSWriteCocoaAppLog:";
constexpr const char* kLogScriptName = "WriteCocoaAppLog";
constexpr const char* kReadyKey = "bSWFReady";

// Each page class's callable methods: native selector -> the page's name for it.
std::map<Class, std::map<SEL, std::string>>& PageMethods() {
    static std::map<Class, std::map<SEL, std::string>> table;
    return table;
}

// The page methods of the class the bridge asks about (rules are class methods, so `self` is the
// class), or of the nearest registered superclass.
const std::map<SEL, std::string>* PageMethodsOf(id self) {
    for (auto cls = static_cast<Class>(self); cls != nullptr; cls = class_getSuperclass(cls)) {
        if (auto found = PageMethods().find(cls); found != PageMethods().end()) {
            return &found->second;
        }
    }
    return nullptr;
}

HVXBridgedWebView* Self(id self) {
    return dynamic_cast<HVXBridgedWebView*>(self);
}
std::string Text(id object) {
    auto* text = dynamic_cast<NSString*>(object);
    return text == nullptr ? std::string() : text->UTF8String();
}

bool IsSelectorExcluded(id self, SEL /*cmd*/, SEL selector) {
    const std::map<SEL, std::string>* methods = PageMethodsOf(self);
    return methods == nullptr || !methods->contains(selector);
}
std::string ScriptNameForSelector(id self, SEL /*cmd*/, SEL selector) {
    const std::map<SEL, std::string>* methods = PageMethodsOf(self);
    if (methods == nullptr) {
        return {};
    }
    auto found = methods->find(selector);
    return found == methods->end() ? std::string() : found->second;
}
// The runtime passes values by value. NOLINTNEXTLINE(performance-unnecessary-value-param)
bool IsKeyExcluded(id /*self*/, SEL /*cmd*/, std::string key) {
    return key != kReadyKey;
}

void ExcuteCommandMethod(id self, SEL /*cmd*/, id name, id arguments) {
    std::vector<std::string> texts;
    if (auto* list = dynamic_cast<NSArray*>(arguments); list != nullptr) {
        for (const Ref<NSObject>& argument : list->objects()) {
            texts.push_back(Text(argument.get()));
        }
    }
    Self(self)->ExcuteCommand(Text(name), texts);
}
bool ReadyFlag(id self, SEL /*cmd*/) {
    return Self(self)->bSWFReady;
}
void SetReadyFlag(id self, SEL /*cmd*/, bool ready) {
    Self(self)->bSWFReady = ready;
}
void WriteCocoaAppLog(id self, SEL /*cmd*/, id message) {
    Self(self)->JSWriteCocoaAppLog(Text(message));
}

} // namespace

Class HVXBridgedWebView::ClassObject() {
    static Class cls = [] {
        Class made = objc_registerClass("HVXBridgedWebView", WebView::ClassObject());
        DefineMethod<&HVXBridgedWebView::awakeFromNib>(made, "awakeFromNib");
        class_defineMethod(made, "ExcuteCommand:withArguments:", &ExcuteCommandMethod);
        DefineMethod<&HVXBridgedWebView::IsSWFReady>(made, "IsSWFReady");
        class_defineMethod(made, "bSWFReady", &ReadyFlag);
        class_defineMethod(made, "setBSWFReady:", &SetReadyFlag);
        class_defineMethod(made, kLogSelector, &WriteCocoaAppLog);
        Class meta = object_getClass(made);
        class_defineMethod(meta, "isSelectorExcludedFromWebScript:", &IsSelectorExcluded);
        class_defineMethod(meta, "webScriptNameForSelector:", &ScriptNameForSelector);
        class_defineMethod(meta, "isKeyExcludedFromWebScript:", &IsKeyExcluded);
        return made;
    }();
    return cls;
}

void HVXBridgedWebView::ExposeToPage(Class cls, const std::vector<PageMethod>& pageMethods) {
    std::map<SEL, std::string>& methods = PageMethods()[cls];
    methods.emplace(sel_registerName(kLogSelector), kLogScriptName);
    for (const auto& [selector, scriptName] : pageMethods) {
        methods.emplace(sel_registerName(selector), scriptName);
    }
}

void HVXBridgedWebView::awakeFromNib() {
    m_winScriptObject = Ref<WebScriptObject>(windowScriptObject());
    if (m_winScriptObject) {
        m_winScriptObject->setValue(this, "cocoaApp");
    }
    bSWFReady = false;
}

void HVXBridgedWebView::ExcuteCommand(const std::string& name,
                                      const std::vector<std::string>& arguments) {
    if (m_winScriptObject) {
        m_winScriptObject->callWebScriptMethod(name, arguments);
    }
}

void HVXBridgedWebView::JSWriteCocoaAppLog(const std::string& message) {
    NSLog("JavaScript Log: " + message);
}

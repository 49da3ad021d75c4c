#include "webkit/WebView.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScriptedTestPage.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"

namespace {

using Call = ScriptedTestPage::Call;

// A view shaped like the list window's browser view: it exposes itself as "cocoaApp", lets the
// page log and report a selection (natively "JS"-prefixed), and lets it set "bSWFReady".
class BridgeView : public WebView {
public:
    BridgeView() : WebView(ClassObject()) {}
    static Class ClassObject();

    std::vector<std::string> log;
    std::vector<std::string> selections;
    std::vector<std::string> secrets;
    bool ready = false;
    std::string title = "native only";
    bool* destroyed = nullptr;

protected:
    ~BridgeView() override {
        if (destroyed != nullptr) {
            *destroyed = true;
        }
    }
};

BridgeView& Self(id self) {
    return *static_cast<BridgeView*>(self);
}
std::string Text(id object) {
    return static_cast<NSString*>(object)->UTF8String();
}

void WriteLog(id self, SEL, id message) {
    Self(self).log.push_back(Text(message));
}
void OnSelected(id self, SEL, id index) {
    Self(self).selections.push_back(Text(index));
    // The selection answers the page while its call is still running.
    Self(self).windowScriptObject()->callWebScriptMethod("infoFrameSize", {"550", "400"});
}
void Secret(id self, SEL, id value) {
    Self(self).secrets.push_back(Text(value));
}
bool IsReady(id self, SEL) {
    return Self(self).ready;
}
void SetReady(id self, SEL, bool ready) {
    Self(self).ready = ready;
}
std::string Title(id self, SEL) {
    return Self(self).title;
}
void SetTitle(id self, SEL, std::string title) {
    Self(self).title = std::move(title);
}

bool IsExposed(SEL selector) {
    return selector == sel_registerName("JSWriteCocoaAppLog:") ||
           selector == sel_registerName("JSOnSelectedSWF:");
}
bool SelectorExcluded(id, SEL, SEL selector) {
    return !IsExposed(selector);
}
std::string ScriptName(id, SEL, SEL selector) {
    if (selector == sel_registerName("JSWriteCocoaAppLog:")) {
        return "WriteCocoaAppLog";
    }
    if (selector == sel_registerName("JSOnSelectedSWF:")) {
        return "OnSelectedSWF";
    }
    return {};
}
bool KeyExcluded(id, SEL, std::string key) {
    return key != "bSWFReady";
}

Class BridgeView::ClassObject() {
    static Class cls = [] {
        Class made = RegisterRuntimeClass<BridgeView>("WVTestBridgeView", WebView::ClassObject());
        class_defineMethod(made, "JSWriteCocoaAppLog:", &WriteLog);
        class_defineMethod(made, "JSOnSelectedSWF:", &OnSelected);
        class_defineMethod(made, "JSSecret:", &Secret);
        class_defineMethod(made, "bSWFReady", &IsReady);
        class_defineMethod(made, "setBSWFReady:", &SetReady);
        class_defineMethod(made, "title", &Title);
        class_defineMethod(made, "setTitle:", &SetTitle);
        Class meta = object_getClass(made);
        class_defineMethod(meta, "isSelectorExcludedFromWebScript:", &SelectorExcluded);
        class_defineMethod(meta, "webScriptNameForSelector:", &ScriptName);
        class_defineMethod(meta, "isKeyExcludedFromWebScript:", &KeyExcluded);
        return made;
    }();
    return cls;
}

// A view with its page, set up the way the list window does it.
struct Fixture {
    Fixture() : view(MakeRef<BridgeView>()) {
        auto owned = std::make_unique<ScriptedTestPage>();
        page = owned.get();
        view->setBackend(std::move(owned));
        view->windowScriptObject()->setValue(view.get(), "cocoaApp");
    }
    Ref<BridgeView> view;
    ScriptedTestPage* page = nullptr; // owned by the view
};

TEST(WebViewTest, LoadsRecordTheURLAndReachTheCurrentPage) {
    Ref<WebView> view = MakeRef<WebView>();
    EXPECT_EQ(view->backend(), nullptr);
    view->loadURL("/res/SWFBrowser.html");
    EXPECT_EQ(view->mainFrameURL(), "/res/SWFBrowser.html");
    // Without a page nothing answers.
    EXPECT_EQ(view->windowScriptObject()->callWebScriptMethod("Reload", {}), std::nullopt);

    // A page installed later shows what the view was asked to load, and later loads too.
    auto owned = std::make_unique<ScriptedTestPage>();
    ScriptedTestPage* page = owned.get();
    view->setBackend(std::move(owned));
    EXPECT_TRUE(page->attached());
    view->loadURL("/res/AdBrowser.html");
    EXPECT_EQ(page->loads(),
              (std::vector<std::string>{"/res/SWFBrowser.html", "/res/AdBrowser.html"}));
    EXPECT_EQ(view->mainFrameURL(), "/res/AdBrowser.html");
}

TEST(WebViewTest, ViewsMadeWhileAFactoryIsSetEachGetAPageOfTheirOwn) {
    int made = 0;
    WebView::SetBackendFactory([&made](WebView&) {
        ++made;
        return std::make_unique<ScriptedTestPage>();
    });
    Ref<WebView> first = MakeRef<WebView>();
    Ref<BridgeView> second = MakeRef<BridgeView>(); // subclasses, as interface files make them
    WebView::SetBackendFactory(nullptr);
    Ref<WebView> third = MakeRef<WebView>();
    EXPECT_EQ(made, 2);
    ASSERT_NE(first->backend(), nullptr);
    ASSERT_NE(second->backend(), nullptr);
    EXPECT_NE(first->backend(), second->backend());
    EXPECT_EQ(third->backend(), nullptr);

    // The page answers through the view's own script object.
    second->windowScriptObject()->setValue(second.get(), "cocoaApp");
    auto* page = dynamic_cast<ScriptedTestPage*>(second->backend());
    EXPECT_TRUE(page->CallNative("cocoaApp", "WriteCocoaAppLog", {"from the page"}));
    EXPECT_EQ(second->log, std::vector<std::string>{"from the page"});
}

TEST(WebViewTest, CallsIntoThePageAreRecordedInOrderWithTheirAnswers) {
    Fixture f;
    f.page->DefineFunction("Reload", "ok");
    EXPECT_EQ(f.view->windowScriptObject()->callWebScriptMethod("infoCurrentSWF", {"/d/"}),
              std::nullopt);
    EXPECT_EQ(f.view->windowScriptObject()->callWebScriptMethod("Reload", {"/d/a.swf", "/d/b"}),
              "ok");
    EXPECT_EQ(f.view->windowScriptObject()->callWebScriptMethod("Reload", {}), "ok");
    EXPECT_EQ(f.page->calls(),
              (std::vector<Call>{
                  {"infoCurrentSWF", {"/d/"}}, {"Reload", {"/d/a.swf", "/d/b"}}, {"Reload", {}}}));
}

TEST(WebViewBridgeTest, ThePageReachesExactlyTheExposedMethodsUnderTheirScriptNames) {
    Fixture f;
    EXPECT_TRUE(f.page->CallNative("cocoaApp", "WriteCocoaAppLog", {"hello"}));
    EXPECT_TRUE(f.page->CallNative("cocoaApp", "OnSelectedSWF", {"2"}));
    EXPECT_EQ(f.view->log, std::vector<std::string>{"hello"});
    EXPECT_EQ(f.view->selections, std::vector<std::string>{"2"});
    // The native answer made inside the page's call reached the page.
    EXPECT_EQ(f.page->calls(), (std::vector<Call>{{"infoFrameSize", {"550", "400"}}}));

    // Native names, default names, other methods, wrong arities and unknown globals: refused.
    for (const char* name :
         {"JSWriteCocoaAppLog:", "JSWriteCocoaAppLog_", "JSWriteCocoaAppLog", "Secret", "JSSecret_",
          "bSWFReady", "setBSWFReady_", "title", "retain", "", "writecocoaapplog"}) {
        EXPECT_FALSE(f.page->CallNative("cocoaApp", name, {"x"})) << name;
    }
    EXPECT_FALSE(f.page->CallNative("cocoaApp", "WriteCocoaAppLog", {}));
    EXPECT_FALSE(f.page->CallNative("cocoaApp", "WriteCocoaAppLog", {"a", "b"}));
    EXPECT_FALSE(f.page->CallNative("window", "WriteCocoaAppLog", {"x"}));
    EXPECT_FALSE(f.page->CallNative("CocoaApp", "WriteCocoaAppLog", {"x"}));
    EXPECT_EQ(f.view->log, std::vector<std::string>{"hello"});
    EXPECT_TRUE(f.view->secrets.empty());
}

TEST(WebViewBridgeTest, ThePageReadsAndSetsOnlyTheAllowedKey) {
    Fixture f;
    EXPECT_EQ(f.page->GetProperty("cocoaApp", "bSWFReady"), WebScriptValue(false));
    EXPECT_TRUE(f.page->SetProperty("cocoaApp", "bSWFReady", true));
    EXPECT_TRUE(f.view->ready);
    EXPECT_EQ(f.page->GetProperty("cocoaApp", "bSWFReady"), WebScriptValue(true));
    // A value of the wrong kind is refused rather than converted.
    EXPECT_FALSE(f.page->SetProperty("cocoaApp", "bSWFReady", std::string("false")));
    EXPECT_TRUE(f.view->ready);

    // A property the class has but does not allow, under any spelling.
    for (const char* key : {"title", "Title", "bswfready", "BSWFReady", ""}) {
        EXPECT_EQ(f.page->GetProperty("cocoaApp", key), std::nullopt) << key;
        EXPECT_FALSE(f.page->SetProperty("cocoaApp", key, std::string("page"))) << key;
        EXPECT_FALSE(f.page->SetProperty("cocoaApp", key, true)) << key;
    }
    EXPECT_EQ(f.view->title, "native only");
    EXPECT_FALSE(f.page->SetProperty("other", "bSWFReady", false));
    EXPECT_TRUE(f.view->ready);
}

TEST(WebViewBridgeTest, UnexposingOrReplacingTheObjectCutsThePageOff) {
    Fixture f;
    f.view->windowScriptObject()->setValue(nullptr, "cocoaApp");
    EXPECT_FALSE(f.page->CallNative("cocoaApp", "WriteCocoaAppLog", {"x"}));
    EXPECT_FALSE(f.page->SetProperty("cocoaApp", "bSWFReady", true));
    EXPECT_FALSE(f.view->ready);

    // Another object under the same name answers by its own class's rules: a plain string's
    // class states none, so nothing of it is reachable.
    Ref<NSString> text = NSString::stringWithString("exposed");
    f.view->windowScriptObject()->setValue(text.get(), "cocoaApp");
    EXPECT_FALSE(f.page->CallNative("cocoaApp", "WriteCocoaAppLog", {"x"}));
    EXPECT_FALSE(f.page->CallNative("cocoaApp", "UTF8String", {}));
    EXPECT_TRUE(f.view->log.empty());
}

// Classes that state no rules, or state them loosely, or with signatures that cannot be asked.
void Ping(id, SEL) {
}
void Pair(id, SEL, id, id) {
}
int32_t Count(id, SEL) {
    return 1;
}
bool Flag(id, SEL) {
    return true;
}
bool NothingExcluded(id, SEL, SEL) {
    return false;
}
bool KeyExcludedByCString(id, SEL, const char*) {
    return false;
}

class WebViewRulesTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (Class cls : made) {
            objc_disposeClass(cls);
        }
    }
    Class MakeClass(const std::string& name) {
        made.push_back(objc_registerClass(name, NSObject::RootClass()));
        Class cls = made.back();
        class_defineMethod(cls, "ping", &Ping);
        class_defineMethod(cls, "flag", &Flag);
        return cls;
    }
    bool Call(Class cls, const std::string& name, const std::vector<std::string>& args = {}) {
        Ref<NSObject> object = class_createInstance(cls);
        script->setValue(object.get(), "obj");
        return script->CallNative("obj", name, args);
    }

    std::vector<Class> made;
    Ref<WebScriptObject> script = MakeRef<WebScriptObject>();
};

TEST_F(WebViewRulesTest, AClassWithoutRulesExposesNothing) {
    Class cls = MakeClass("WVSilent");
    EXPECT_FALSE(Call(cls, "ping"));
    EXPECT_EQ(script->GetProperty("obj", "flag"), std::nullopt);
}

TEST_F(WebViewRulesTest, AllowedSelectorsWithoutNamesGoByTheDefaultNameAndMustBeUnambiguous) {
    Class cls = MakeClass("WVOpen");
    class_defineMethod(object_getClass(cls), "isSelectorExcludedFromWebScript:", &NothingExcluded);
    class_defineMethod(cls, "count", &Count);
    class_defineMethod(cls, "a:b:", &Pair);
    class_defineMethod(cls, "a_b:", &Pair);
    class_defineMethod(cls, "send:to:", &Pair);
    EXPECT_TRUE(Call(cls, "ping"));
    EXPECT_TRUE(Call(cls, "send_to_", {"1", "2"}));
    EXPECT_FALSE(Call(cls, "send:to:", {"1", "2"}));
    // Two methods behind one name, and a method whose result the page cannot take.
    EXPECT_FALSE(Call(cls, "a_b_", {"1", "2"}));
    EXPECT_FALSE(Call(cls, "count"));
    // Selectors are open but keys are not: the key rule is missing.
    EXPECT_EQ(script->GetProperty("obj", "flag"), std::nullopt);
}

TEST_F(WebViewRulesTest, ARuleWithAnotherSignatureCountsAsMissing) {
    Class cls = MakeClass("WVCStringKeys");
    class_defineMethod(object_getClass(cls), "isKeyExcludedFromWebScript:", &KeyExcludedByCString);
    Ref<NSObject> object = class_createInstance(cls);
    script->setValue(object.get(), "obj");
    EXPECT_EQ(script->GetProperty("obj", "flag"), std::nullopt);
}

TEST(WebViewBridgeTest, AViewExposingItselfIsFreedAndItsScriptObjectForgetsIt) {
    bool destroyed = false;
    Ref<WebScriptObject> kept;
    ScriptedTestPage* page = nullptr;
    {
        Fixture f;
        f.view->destroyed = &destroyed;
        kept = f.view->windowScriptObject();
        page = f.page;
        EXPECT_TRUE(page->CallNative("cocoaApp", "WriteCocoaAppLog", {"alive"}));
    }
    EXPECT_TRUE(destroyed);
    // The page went with the view; the script object kept elsewhere reaches neither.
    EXPECT_FALSE(kept->CallNative("cocoaApp", "WriteCocoaAppLog", {"gone"}));
    EXPECT_EQ(kept->callWebScriptMethod("Reload", {}), std::nullopt);
}

} // namespace

#include <stdexcept>

#include <gtest/gtest.h>

#include "PluginViewTestSupport.h"
#include "appkit/NSApplication.h"
#include "browser/DOMElement.h"
#include "browser/HostApplication.h"
#include "browser/WebPluginPackage.h"
#include "runtime/MessageSend.h"

namespace {

using View = WebBaseNetscapePluginView;

class PluginViewClassTest : public ::testing::Test {
protected:
    void TearDown() override { View::UnregisterClass(); }

    // Sends an initialiser with recognisable arguments, as a page would.
    static id Initialise(const Ref<NSObject>& view, const char* selector) {
        return objc_msgSend<id>(view.get(), selector, NSMakeRect(0, 0, 550, 400),
                                WebPluginPackage::FlashPackage().get(), url.get(), base.get(),
                                type.get(), keys.get(), values.get(), true, element.get());
    }

    static inline const Ref<NSURL> url = NSURL::URLWithString("http://h.test/a/movie.swf");
    static inline const Ref<NSURL> base = NSURL::URLWithString("http://h.test/a/");
    static inline const Ref<NSString> type = NSString::stringWithString("application/x-test");
    static inline const Ref<NSArray> keys = MakeRef<NSArray>();
    static inline const Ref<NSArray> values = MakeRef<NSArray>();
    static inline const Ref<DOMElement> element =
        MakeRef<DOMElement>("embed", std::vector<DOMElement::Attribute>{{"src", "movie.swf"}});
};

TEST_F(PluginViewClassTest, RegistrationOffersTheChosenInitialisers) {
    const SEL domForm = sel_registerName(View::kDOMElementInitialiser);
    const SEL elementForm = sel_registerName(View::kElementInitialiser);
    struct Case {
        PluginViewInitialisers initialisers;
        bool domElement;
        bool element;
    };
    for (const Case& c : {Case{PluginViewInitialisers::Both, true, true},
                          Case{PluginViewInitialisers::ElementOnly, false, true},
                          Case{PluginViewInitialisers::None, false, false}}) {
        Class cls = View::RegisterClass(c.initialisers);
        EXPECT_EQ(NSClassFromString("WebBaseNetscapePluginView"), cls);
        EXPECT_EQ(class_getSuperclass(cls), NSObject::RootClass());
        EXPECT_EQ(instancesRespondToSelector(cls, domForm), c.domElement);
        EXPECT_EQ(instancesRespondToSelector(cls, elementForm), c.element);
        EXPECT_NE(dynamic_cast<View*>(class_createInstance(cls).get()), nullptr);
        EXPECT_EQ(object_getClass(MakeRef<View>().get()), cls);
    }
}

TEST_F(PluginViewClassTest, InitialiserKeepsItsArgumentsAndListsTheViewOnce) {
    Class cls = View::RegisterClass(PluginViewInitialisers::Both);
    const Ref<NSObject> view = class_createInstance(cls);
    EXPECT_EQ(Initialise(view, View::kElementInitialiser), view.get());
    EXPECT_EQ(Initialise(view, View::kDOMElementInitialiser), view.get());

    ASSERT_EQ(View::InitialisedViews().size(), 1U);
    const View& recorded = *View::InitialisedViews().front();
    EXPECT_EQ(&recorded, view.get());
    EXPECT_EQ(recorded.initialiser(), View::kDOMElementInitialiser);
    EXPECT_EQ(recorded.command(), sel_registerName(View::kDOMElementInitialiser));
    const PluginViewArguments& arguments = recorded.arguments();
    EXPECT_EQ(arguments.frame, NSMakeRect(0, 0, 550, 400));
    EXPECT_EQ(arguments.pluginPackage, Ref<NSObject>(WebPluginPackage::FlashPackage()));
    EXPECT_EQ(arguments.pluginURL, Ref<NSObject>(url));
    EXPECT_EQ(arguments.baseURL, Ref<NSObject>(base));
    EXPECT_EQ(arguments.mimeType, Ref<NSObject>(type));
    EXPECT_EQ(arguments.attributeKeys, Ref<NSObject>(keys));
    EXPECT_EQ(arguments.attributeValues, Ref<NSObject>(values));
    EXPECT_TRUE(arguments.loadManually);
    EXPECT_EQ(arguments.element, Ref<NSObject>(element));

    // A wrongly typed send fails loudly instead of reaching the implementation.
    EXPECT_THROW(objc_msgSend<id>(view.get(), View::kElementInitialiser, 1, 2), MessageSendError);
}

TEST_F(PluginViewClassTest, RegisteringAgainStartsClean) {
    Class first = View::RegisterClass(PluginViewInitialisers::Both);
    const Ref<NSObject> oldView = class_createInstance(first);
    Initialise(oldView, View::kDOMElementInitialiser);
    ASSERT_EQ(View::InitialisedViews().size(), 1U);

    Class second = View::RegisterClass(PluginViewInitialisers::ElementOnly);
    EXPECT_NE(second, first);
    EXPECT_TRUE(View::InitialisedViews().empty());
    EXPECT_FALSE(
        instancesRespondToSelector(second, sel_registerName(View::kDOMElementInitialiser)));
    // Views of the old class live on, but nothing answers through it any more.
    EXPECT_TRUE(dynamic_cast<View&>(*oldView).isInitialised());
    EXPECT_THROW(Initialise(oldView, View::kElementInitialiser), MessageSendError);

    View::UnregisterClass();
    EXPECT_EQ(NSClassFromString("WebBaseNetscapePluginView"), nullptr);
}

TEST(HostApplicationTest, OneHostAtATimeWithItsWindowAsTheMainWindow) {
    EXPECT_EQ(HostApplication::Current(), nullptr);
    {
        const HostApplication host;
        EXPECT_EQ(host.bundleIdentifier(), "com.apple.Safari");
        EXPECT_EQ(HostApplication::Current(), &host);
        ASSERT_NE(host.mainWindow(), nullptr);
        EXPECT_EQ(NSApp().mainWindow(), host.mainWindow());
        EXPECT_THROW(HostApplication("org.example.Other"), std::logic_error);
        EXPECT_EQ(HostApplication::Current(), &host);
    }
    EXPECT_EQ(HostApplication::Current(), nullptr);
    EXPECT_EQ(NSApp().mainWindow(), nullptr);

    const HostApplication other("org.example.Other");
    EXPECT_EQ(other.bundleIdentifier(), "org.example.Other");
    EXPECT_EQ(NSApp().mainWindow(), other.mainWindow());
}

} // namespace

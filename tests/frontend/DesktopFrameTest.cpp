// A web view's page as a frame of the desktop: what the server serves, what the page's script may
// do through the server, and how the native side's calls travel.
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DesktopHarness.h"
#include "foundation/objects/NSString.h"
#include "foundation/objects/RuntimeClass.h"
#include "runtime/MessageSend.h"
#include "server/FramePage.h"
#include "webkit/WebView.h"

namespace {

using json = nlohmann::json;

// A view that exposes itself as "native": the page may call "Say" (natively "JSSay:") and use
// the key "ready"; "JSSecret:" and the key "secret" exist but are excluded.
class PageView : public WebView {
public:
    PageView() : WebView(ClassObject()) {}
    static Class ClassObject() {
        static Class cls = [] {
            Class made =
                RegisterRuntimeClass<PageView>("DesktopFramePageView", WebView::ClassObject());
            class_defineMethod(
                made, "JSSay:", +[](id self, SEL, id text) {
                    static_cast<PageView*>(self)->said.push_back(
                        static_cast<NSString*>(text)->UTF8String());
                });
            class_defineMethod(
                made, "JSSecret:", +[](id, SEL, id) {});
            class_defineMethod(
                made, "ready", +[](id self, SEL) { return static_cast<PageView*>(self)->ready; });
            class_defineMethod(
                made, "setReady:", +[](id self, SEL, bool value) {
                    static_cast<PageView*>(self)->ready = value;
                });
            class_defineMethod(
                made, "secret", +[](id, SEL) { return true; });
            Class meta = object_getClass(made);
            class_defineMethod(
                meta, "isSelectorExcludedFromWebScript:", +[](id, SEL, SEL selector) {
                    return selector->name != "JSSay:";
                });
            class_defineMethod(
                meta,
                "webScriptNameForSelector:", +[](id, SEL, SEL) { return std::string("Say"); });
            class_defineMethod(
                meta, "isKeyExcludedFromWebScript:", +[](id, SEL, std::string key) {
                    return key != "ready";
                });
            return made;
        }();
        return cls;
    }
    std::vector<std::string> said;
    bool ready = false;
};

// The desktop with every web view made from now on shown as a frame.
struct FrameDesktop {
    FrameDesktop() {
        WebView::SetBackendFactory([weak = std::weak_ptr(desktop.presenter)](WebView& view) {
            return std::make_unique<FramePage>(view.objectId(), weak);
        });
        view = MakeRef<PageView>();
        view->windowScriptObject()->setValue(view.get(), "native");
    }
    ~FrameDesktop() { WebView::SetBackendFactory(nullptr); }
    FrameDesktop(const FrameDesktop&) = delete;
    FrameDesktop& operator=(const FrameDesktop&) = delete;
    FrameDesktop(FrameDesktop&&) = delete;
    FrameDesktop& operator=(FrameDesktop&&) = delete;

    httplib::Result Get(const std::string& path) {
        return desktop.OffMain([&] { return desktop.Client().Get(path, desktop.Auth()); });
    }
    httplib::Result Post(const json& event) {
        return desktop.OffMain([&] {
            return desktop.Client().Post("/event", desktop.Auth(), event.dump(),
                                         "application/json");
        });
    }
    std::string FramePath() const { return "/frame/" + std::to_string(view->objectId()); }

    DesktopHarness desktop;
    Ref<PageView> view;
};

// The configuration the server gave the frame's bridge script.
json BridgeConfig(const std::string& page) {
    const std::string marker = "data-config=\"";
    const size_t at = page.find(marker);
    const size_t end = page.find('"', at + marker.size());
    std::string text = page.substr(at + marker.size(), end - at - marker.size());
    for (const auto& [escaped, plain] : {std::pair{"&quot;", "\""},
                                         {"&#39;", "'"},
                                         {"&lt;", "<"},
                                         {"&gt;", ">"},
                                         {"&amp;", "&"}}) {
        for (size_t found = 0; (found = text.find(escaped, found)) != std::string::npos;) {
            text.replace(found, std::string_view(escaped).size(), plain);
            ++found;
        }
    }
    return json::parse(text);
}

TEST(DesktopFrameTest, APageIsServedWithTheBridgeFirstOfferingWhatTheNativeRulesAllow) {
    FrameDesktop frame;
    const auto folder = frame.desktop.dir.Path() / "resources" / "the pages";
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "list.html") << "<!DOCTYPE html><html><HEAD lang=en><script>1</script>";
    frame.view->loadURL(
        (frame.desktop.dir.Path() / "resources" / "the%20pages" / "list.html").string());

    httplib::Result page = frame.Get(frame.FramePath());
    ASSERT_TRUE(page);
    ASSERT_EQ(page->status, 200) << page->body;
    EXPECT_TRUE(page->body.starts_with("<!DOCTYPE html><html><HEAD lang=en><base "
                                       "href=\"/files/resources/the%20pages/\"><script "
                                       "src=\"/ui/framebridge.js\" data-config="))
        << page->body;
    EXPECT_NE(Header(page, "Content-Security-Policy").find("'unsafe-inline'"), std::string::npos);
    const json config = BridgeConfig(page->body);
    EXPECT_EQ(config["view"], frame.view->objectId());
    EXPECT_EQ(config["objects"], json::parse(R"([{"key":"native",
        "methods":[{"name":"Say","arguments":1}],"properties":["ready"]}])"));

    // Only a page of a served folder, of a web view that exists.
    frame.view->loadURL("/etc/hostname");
    EXPECT_EQ(frame.Get(frame.FramePath())->status, 404);
    EXPECT_EQ(frame.Get("/frame/999999999")->status, 404);
}

TEST(DesktopFrameTest, ThePagesScriptGetsOnlyWhatTheNativeRulesAllow) {
    FrameDesktop frame;
    const json oid = frame.view->objectId();
    const struct {
        const char* what;
        json event;
        int status;
    } table[] = {
        {"an allowed call",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", {"hi"}}},
         200},
        {"an excluded method",
         {{"kind", "call"}, {"object", "native"}, {"name", "JSSecret_"}, {"args", {"x"}}},
         409},
        {"too few arguments",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", json::array()}},
         409},
        {"a number for a string",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", {1}}},
         400},
        {"an object never exposed",
         {{"kind", "call"}, {"object", "window"}, {"name", "Say"}, {"args", {"x"}}},
         409},
        {"an allowed key set",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", true}},
         200},
        {"a number for a flag",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", 1}},
         400},
        {"a string for a flag",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", "yes"}},
         409},
        {"an excluded key read", {{"kind", "get"}, {"object", "native"}, {"key", "secret"}}, 409},
        {"an allowed key read", {{"kind", "get"}, {"object", "native"}, {"key", "ready"}}, 200},
        {"a page fault", {{"kind", "fault"}, {"text", "no function Reload"}}, 200},
    };
    for (const auto& row : table) {
        json event = row.event;
        event["oid"] = oid;
        httplib::Result result = frame.Post(event);
        ASSERT_TRUE(result) << row.what;
        EXPECT_EQ(result->status, row.status) << row.what << ": " << result->body;
    }
    EXPECT_EQ(frame.view->said, std::vector<std::string>{"hi"});
    EXPECT_TRUE(frame.view->ready);
}

TEST(DesktopFrameTest, ANewClientGetsTheLatestCallOfEachFunctionSinceThePageLoaded) {
    FrameDesktop frame;
    auto* page = dynamic_cast<FramePage*>(frame.view->backend());
    ASSERT_NE(page, nullptr);
    frame.view->loadURL("/pages/list.html");
    WebScriptObject* script = frame.view->windowScriptObject();
    EXPECT_EQ(script->callWebScriptMethod("Reload", {"a.swf"}), std::nullopt);
    script->callWebScriptMethod("infoCurrentSWF", {"/a.swf"});
    script->callWebScriptMethod("Reload", {"a.swf", "b.swf"});

    const json expected = json::parse(R"([{"name":"infoCurrentSWF","args":["/a.swf"]},
        {"name":"Reload","args":["a.swf","b.swf"]}])");
    const json pages = frame.desktop.presenter->Snapshot()["pages"];
    ASSERT_EQ(pages.size(), 1U);
    EXPECT_EQ(pages[0]["view"], frame.view->objectId());
    EXPECT_EQ(pages[0]["calls"], expected);

    // A new page starts with nothing called in it.
    frame.view->loadURL("/pages/other.html");
    EXPECT_TRUE(page->calls().empty());
    EXPECT_TRUE(frame.desktop.presenter->Snapshot()["pages"].empty());
}

TEST(DesktopFrameTest, TheBridgeGoesFirstInTheHeadWhereverThePageStarts) {
    const struct {
        const char* page;
        const char* served;
    } table[] = {
        {"<html><head><title>t</title>", "<html><head>B<title>t</title>"},
        {"<!doctype html><header>x", "<!doctype html>B<header>x"},
        {"<p>no head", "B<p>no head"},
        {"<head", "B<head"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(InsertAtHeadStart(row.page, "B"), row.served) << row.page;
    }
    EXPECT_EQ(HtmlAttribute(R"({"a":"<'&'>"})"),
              "{&quot;a&quot;:&quot;&lt;&#39;&amp;&#39;&gt;&quot;}");
}

} // namespace

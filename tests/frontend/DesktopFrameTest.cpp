// A web view's page as a frame of the desktop: where it runs, what it may read, what the page's
// script may do through its bridge, and how the native side's calls travel.
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DesktopHarness.h"
#include "appkit/NSAlert.h"
#include "appkit/NSButton.h"
#include "appkit/NSWindow.h"
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

    httplib::Result Get(const std::string& path, const httplib::Headers& extra = {}) {
        httplib::Headers headers = desktop.Auth();
        headers.insert(extra.begin(), extra.end());
        return desktop.OffMain([&] { return desktop.Client().Get(path, headers); });
    }
    // From the frames' origin, which nobody gives a cookie or a token.
    httplib::Result GetFrame(const std::string& path, const httplib::Headers& headers = {}) {
        return desktop.OffMain([&] {
            httplib::Client client("127.0.0.1", desktop.server->frames()->port());
            return client.Get(path, headers);
        });
    }
    // As the renderer relays a page's bridge call.
    httplib::Result PostPage(const json& event) {
        return desktop.OffMain([&] {
            return desktop.Client().Post("/page", desktop.Auth(), event.dump(), "application/json");
        });
    }
    std::string FramePath() const { return "/frame/" + std::to_string(view->objectId()); }
    // Where the desktop sends the browser for the view's page, as a path on the frames' origin.
    std::string PagePath() {
        httplib::Result moved = Get(FramePath());
        EXPECT_TRUE(moved && moved->status == 303);
        const std::string location = Header(moved, "Location");
        const std::string origin = desktop.server->frames()->origin();
        EXPECT_TRUE(location.starts_with(origin + "/")) << location;
        return location.substr(origin.size());
    }

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

    const std::string path = frame.PagePath();
    const std::string root = path.substr(0, path.find('/', 1));
    ASSERT_EQ(root.size(), 65U) << path;
    httplib::Result page = frame.GetFrame(path);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->status, 200) << page->body;
    EXPECT_TRUE(page->body.starts_with("<!DOCTYPE html><html><HEAD lang=en><base href=\"" + root +
                                       "/files/resources/the%20pages/\"><script src=\"" + root +
                                       "/bridge.js\" data-config="))
        << page->body;
    const std::string policy = Header(page, "Content-Security-Policy");
    EXPECT_NE(policy.find("'unsafe-inline'"), std::string::npos);
    EXPECT_NE(policy.find("frame-ancestors http://127.0.0.1:" +
                          std::to_string(frame.desktop.server->port())),
              std::string::npos);
    const json config = BridgeConfig(page->body);
    EXPECT_EQ(config["view"], frame.view->objectId());
    EXPECT_EQ(config["objects"], json::parse(R"([{"key":"native",
        "methods":[{"name":"Say","arguments":1}],"properties":["ready"]}])"));
    // Nothing a page, its scripts or its movies may read holds the run's token.
    EXPECT_EQ(page->body.find(frame.desktop.token), std::string::npos);
    EXPECT_EQ(frame.GetFrame(root + "/bridge.js")->body.find(frame.desktop.token),
              std::string::npos);

    // Only a page of a served folder, of a web view that exists.
    frame.view->loadURL("/etc/hostname");
    EXPECT_EQ(frame.GetFrame(path)->status, 404);
    EXPECT_EQ(frame.Get("/frame/999999999")->status, 404);
}

// One row per origin and what it asks: the desktop page reads and sends everything with the token;
// the frames' origin reads its own files with a capability and nothing of the desktop's; a page or
// a movie on the frames' origin that turns to the desktop is refused, token or not.
TEST(DesktopFrameTest, EachOriginReadsOnlyWhatIsItsOwn) {
    FrameDesktop frame;
    std::ofstream(frame.desktop.dir.Path() / "capture" / "movie.swf") << "FWS";
    std::ofstream(frame.desktop.dir.Path() / "web" / "desktop.html") << "<html>";
    std::ofstream(frame.desktop.dir.Path() / "secret.txt") << "outside";
    std::ofstream(frame.desktop.dir.Path() / "player" / "core.wasm") << "player";
    frame.view->loadURL((frame.desktop.dir.Path() / "capture" / "movie.swf").string());
    const std::string path = frame.PagePath();
    const std::string root = path.substr(0, path.find('/', 1));
    const std::string framesHost =
        "127.0.0.1:" + std::to_string(frame.desktop.server->frames()->port());
    const std::string framesOrigin = frame.desktop.server->frames()->origin();
    const httplib::Headers fromFrames{{"Sec-Fetch-Site", "same-site"}, {"Origin", framesOrigin}};

    const struct {
        const char* what;
        bool onFrames;
        std::string method;
        std::string path;
        httplib::Headers headers;
        int status;
    } table[] = {
        {"the desktop reads its page", false, "GET", "/", {{"Sec-Fetch-Site", "same-origin"}}, 200},
        {"the desktop's page frames a view",
         false,
         "GET",
         frame.FramePath(),
         {{"Sec-Fetch-Site", "same-origin"}},
         303},
        {"a frame reads a caught movie", true, "GET", root + "/files/capture/movie.swf", {}, 200},
        {"a frame's player, at one address for every frame",
         true,
         "GET",
         root + "/files/resources/ruffle/core.wasm",
         {},
         301},
        {"the player itself", true, "GET", "/player/core.wasm", {}, 200},
        {"without a capability", true, "GET", "/files/capture/movie.swf", {}, 404},
        {"with a made-up capability",
         true,
         "GET",
         "/" + std::string(64, 'a') + "/files/capture/movie.swf",
         {},
         404},
        {"out of its folder", true, "GET", root + "/files/capture/%2e%2e/secret.txt", {}, 404},
        {"the desktop's page on the frames' origin", true, "GET", "/", {}, 404},
        {"the event stream on the frames' origin", true, "GET", "/events", {}, 404},
        {"an event on the frames' origin", true, "POST", "/event", {}, 403},
        {"the frames' origin by another name",
         true,
         "GET",
         root + "/files/capture/movie.swf",
         {{"Host", "localhost:" + framesHost.substr(framesHost.find(':') + 1)}},
         403},
        {"a frame reads the desktop's page", false, "GET", "/", fromFrames, 403},
        {"a frame reads another view's address", false, "GET", frame.FramePath(), fromFrames, 403},
        {"a frame posts an event with the token", false, "POST", "/event", fromFrames, 403},
        {"a frame posts a bridge call with the token", false, "POST", "/page", fromFrames, 403},
        {"another site's page", false, "GET", "/", {{"Sec-Fetch-Site", "cross-site"}}, 403},
        {"another origin that says so only by Origin",
         false,
         "POST",
         "/event",
         {{"Origin", framesOrigin}},
         403},
    };
    const json click{{"oid", frame.view->objectId()}, {"kind", "click"}};
    for (const auto& row : table) {
        httplib::Result result = frame.desktop.OffMain([&] {
            httplib::Headers headers = row.onFrames ? httplib::Headers{} : frame.desktop.Auth();
            for (const auto& [name, value] : row.headers) {
                headers.erase(name);
                headers.emplace(name, value);
            }
            httplib::Client client("127.0.0.1", row.onFrames
                                                    ? frame.desktop.server->frames()->port()
                                                    : frame.desktop.server->port());
            return row.method == "GET"
                       ? client.Get(row.path, headers)
                       : client.Post(row.path, headers, click.dump(), "application/json");
        });
        ASSERT_TRUE(result) << row.what;
        EXPECT_EQ(result->status, row.status) << row.what << ": " << result->body;
    }
}

TEST(DesktopFrameTest, ThePagesScriptGetsOnlyWhatTheNativeRulesAllow) {
    FrameDesktop frame;
    const json oid = frame.view->objectId();
    Ref<NSButton> button = MakeRef<NSButton>();
    const struct {
        const char* what;
        json event;
        int status;
    } table[] = {
        {"an allowed call",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", {"hi"}}},
         200},
        {"a number where the native side reads decimal text",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", {1}}},
         200},
        {"an excluded method",
         {{"kind", "call"}, {"object", "native"}, {"name", "JSSecret_"}, {"args", {"x"}}},
         403},
        {"too few arguments",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", json::array()}},
         403},
        {"an object for a string",
         {{"kind", "call"}, {"object", "native"}, {"name", "Say"}, {"args", {json::object()}}},
         400},
        {"an object never exposed",
         {{"kind", "call"}, {"object", "window"}, {"name", "Say"}, {"args", {"x"}}},
         403},
        {"an allowed key set",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", true}},
         200},
        {"a number for a flag",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", 1}},
         400},
        {"a string for a flag",
         {{"kind", "set"}, {"object", "native"}, {"key", "ready"}, {"value", "yes"}},
         403},
        {"an excluded key read", {{"kind", "get"}, {"object", "native"}, {"key", "secret"}}, 403},
        {"an allowed key read", {{"kind", "get"}, {"object", "native"}, {"key", "ready"}}, 200},
        {"a page fault", {{"kind", "fault"}, {"text", "no function Reload"}}, 200},
        {"a click from a page", {{"kind", "click"}}, 403},
        {"a sheet's answer from a page", {{"kind", "answer"}, {"button", 0}}, 403},
        {"a bridge call for a control",
         {{"kind", "call"},
          {"oid", button->objectId()},
          {"object", "native"},
          {"name", "Say"},
          {"args", {"x"}}},
         403},
    };
    for (const auto& row : table) {
        json event = row.event;
        if (!event.contains("oid")) {
            event["oid"] = oid;
        }
        httplib::Result result = frame.PostPage(event);
        ASSERT_TRUE(result) << row.what;
        EXPECT_EQ(result->status, row.status) << row.what << ": " << result->body;
    }
    EXPECT_EQ(frame.view->said, (std::vector<std::string>{"hi", "1"}));
    EXPECT_TRUE(frame.view->ready);

    // The renderer's own route takes no bridge calls.
    httplib::Result relayed = frame.desktop.OffMain([&] {
        return frame.desktop.Client().Post(
            "/event", frame.desktop.Auth(),
            json{{"oid", oid}, {"kind", "fault"}, {"text", "x"}}.dump(), "application/json");
    });
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->status, 400);
}

// While a sheet is up, its window takes nothing but the sheet's answer, whoever sends it.
TEST(DesktopFrameTest, ASheetIsModalForItsWindowWhateverSendsTheEvent) {
    FrameDesktop frame;
    Ref<NSWindow> window = MakeRef<NSWindow>("list");
    Ref<NSButton> save = MakeRef<NSButton>();
    window->contentView()->addSubview(save);
    window->contentView()->addSubview(frame.view);
    Ref<NSAlert> alert = MakeRef<NSAlert>();
    alert->beginSheetModalForWindow(window.get(), nullptr, nullptr, 0);
    ASSERT_EQ(window->attachedSheet(), alert.get());

    auto post = [&frame](const char* route, const json& event) {
        return frame.desktop.OffMain([&] {
            return frame.desktop.Client().Post(route, frame.desktop.Auth(), event.dump(),
                                               "application/json");
        });
    };
    const json pressSave{{"oid", save->objectId()}, {"kind", "click"}};
    const json closeWindow{{"oid", window->objectId()}, {"kind", "close"}};
    const json pageCall{{"oid", frame.view->objectId()},
                        {"kind", "call"},
                        {"object", "native"},
                        {"name", "Say"},
                        {"args", {"hi"}}};
    for (const auto& [route, event] :
         {std::pair{"/event", pressSave}, {"/event", closeWindow}, {"/page", pageCall}}) {
        httplib::Result refused = post(route, event);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 409) << event.dump();
        EXPECT_NE(refused->body.find("sheet"), std::string::npos) << refused->body;
    }
    EXPECT_EQ(window->attachedSheet(), alert.get());
    EXPECT_TRUE(frame.view->said.empty());

    httplib::Result answered =
        post("/event", {{"oid", alert->objectId()}, {"kind", "answer"}, {"button", 0}});
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->status, 200) << answered->body;
    EXPECT_EQ(window->attachedSheet(), nullptr);
    httplib::Result called = post("/page", pageCall);
    ASSERT_TRUE(called);
    EXPECT_EQ(called->status, 200) << called->body;
    EXPECT_EQ(frame.view->said, std::vector<std::string>{"hi"});
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

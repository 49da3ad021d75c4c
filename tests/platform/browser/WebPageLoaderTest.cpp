#include "browser/static/WebPageLoader.h"

#include <fstream>

#include <gtest/gtest.h>

#include "PageServer.h"
#include "PluginViewTestSupport.h"
#include "TempDir.h"
#include "browser/DOMElement.h"
#include "browser/HostApplication.h"
#include "browser/WebPluginPackage.h"
#include "runtime/MessageSend.h"

namespace {

using View = WebBaseNetscapePluginView;
using Strings = std::vector<std::string>;

class WebPageLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { View::RegisterClass(PluginViewInitialisers::Both); }
    void TearDown() override { View::UnregisterClass(); }

    // Serves `body` as /dir/page.html and loads it.
    Outcome<HostPage::Loaded> LoadBody(const std::string& body) {
        server.Page("/dir/page.html", "<!DOCTYPE html><html><body>" + body + "</body></html>");
        return loader.load(server.URL("/dir/page.html"));
    }

    PageServer server;
    WebPageLoader loader;
};

TEST_F(WebPageLoaderTest, TheClassesInitialisersDecideHowViewsAreMade) {
    const std::string body = "<embed src=a.swf><object data=b.swf></object>";
    Outcome<HostPage::Loaded> result = LoadBody(body);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_EQ(result.value().pluginViewCount, 2U);
    ASSERT_EQ(View::InitialisedViews().size(), 2U);
    EXPECT_EQ(View::InitialisedViews()[0]->initialiser(), View::kDOMElementInitialiser);
    EXPECT_EQ(loader.pluginViews()[1], Ref<NSObject>(View::InitialisedViews()[1]));

    View::RegisterClass(PluginViewInitialisers::ElementOnly);
    result = LoadBody(body);
    EXPECT_EQ(result.value().pluginViewCount, 2U);
    ASSERT_EQ(View::InitialisedViews().size(), 2U);
    EXPECT_EQ(View::InitialisedViews()[0]->initialiser(), View::kElementInitialiser);
    // The loader holds its page's views: the list can go, the views stay.
    View::ClearInitialisedViews();
    ASSERT_EQ(loader.pluginViews().size(), 2U);
    EXPECT_EQ(loader.pluginViews()[0]->retainCount(), 1);

    View::RegisterClass(PluginViewInitialisers::None);
    result = LoadBody(body);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.value().pluginViewCount, 0U);
    EXPECT_TRUE(loader.pluginViews().empty());

    View::UnregisterClass();
    EXPECT_EQ(LoadBody(body).value().pluginViewCount, 0U);
}

// What a bundle does: its own implementation in front, calling on to the host's.
int g_intercepted = 0;
id InterceptingInit(id self, SEL, NSRect frame, id package, id url, id base, id type, id keys,
                    id values, bool manually, id element) {
    ++g_intercepted;
    return objc_msgSend<id>(self, "hvx_test_init:", frame, package, url, base, type, keys, values,
                            manually, element);
}

TEST_F(WebPageLoaderTest, PagesReachTheInitialiserThroughTheMethodTable) {
    Class cls = NSClassFromString(View::kClassName);
    class_defineMethod(cls, "hvx_test_init:", &InterceptingInit);
    method_exchangeImplementations(
        class_getInstanceMethod(cls, sel_registerName(View::kDOMElementInitialiser)),
        class_getInstanceMethod(cls, sel_registerName("hvx_test_init:")));
    g_intercepted = 0;

    ASSERT_EQ(LoadBody("<embed src=a.swf>").value().pluginViewCount, 1U);
    EXPECT_EQ(g_intercepted, 1);
    const View& view = *View::InitialisedViews().at(0);
    EXPECT_EQ(view.initialiser(), View::kDOMElementInitialiser);
    EXPECT_EQ(view.command(), sel_registerName("hvx_test_init:"));
    EXPECT_EQ(URLText(view.arguments().pluginURL), server.URL("/dir/a.swf"));
}

TEST_F(WebPageLoaderTest, ViewsGetTheNineParametersOfTheirElement) {
    server.Page("/dir/page.html", R"(<html><head><base href="../assets/sub/"></head><body>
        <EMBED SRC="movie.swf?v=2" Width=" 550 " height="400" type="application/x-shockwave-flash"
               FlashVars="a=1&amp;b=&lt;2&gt;" quality></body></html>)");
    ASSERT_TRUE(loader.load(server.URL("/dir/page.html")).ok());

    ASSERT_EQ(View::InitialisedViews().size(), 1U);
    const PluginViewArguments& arguments = ArgumentsOf(0);
    EXPECT_EQ(arguments.frame, NSMakeRect(0, 0, 550, 400));
    EXPECT_EQ(arguments.pluginPackage, Ref<NSObject>(WebPluginPackage::FlashPackage()));
    EXPECT_EQ(URLText(arguments.pluginURL), server.URL("/assets/sub/movie.swf?v=2"));
    EXPECT_EQ(URLText(arguments.baseURL), server.URL("/assets/sub/"));
    EXPECT_EQ(Text(arguments.mimeType), "application/x-shockwave-flash");
    EXPECT_EQ(Texts(arguments.attributeKeys),
              (Strings{"src", "width", "height", "type", "flashvars", "quality"}));
    EXPECT_EQ(Texts(arguments.attributeValues),
              (Strings{"movie.swf?v=2", " 550 ", "400", "application/x-shockwave-flash",
                       "a=1&b=<2>", ""}));
    EXPECT_FALSE(arguments.loadManually);
    const auto* element = dynamic_cast<const DOMElement*>(arguments.element.get());
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->tagName(), "embed");
    EXPECT_EQ(element->getAttribute("FLASHVARS"), "a=1&b=<2>");
    EXPECT_EQ(loader.baseURL()->absoluteString(), server.URL("/assets/sub/"));
}

TEST_F(WebPageLoaderTest, URLsResolveAgainstTheBaseAndUnusableOnesAreNil) {
    ASSERT_TRUE(LoadBody(R"html(<embed src="a.swf"><embed src="../up.swf"><embed src="/root.swf">
        <embed src="//127.0.0.1:1/other.swf"><embed src="?q=1"><embed src="http://x.test/abs.swf">
        <embed src="  my movie.swf  "><embed src="a&#10;b.swf"><embed src="javascript:go()">
        <embed src="http://exa mple.test/a.swf"><embed type="application/x-shockwave-flash">)html")
                    .ok());
    EXPECT_EQ(InitialisedURLs(),
              (Strings{server.URL("/dir/a.swf"), server.URL("/up.swf"), server.URL("/root.swf"),
                       "http://127.0.0.1:1/other.swf", server.URL("/dir/page.html?q=1"),
                       "http://x.test/abs.swf", server.URL("/dir/my%20movie.swf"),
                       server.URL("/dir/ab.swf"), "(nil)", "(nil)", "(nil)"}));
    EXPECT_EQ(URLText(ArgumentsOf(0).baseURL), server.URL("/dir/page.html"));

    // The first <base> with an href wins, wherever it is, and applies to the whole page.
    ASSERT_TRUE(LoadBody(R"(<embed src="m.swf"><base target=_top><base href="/first/">
        <base href="http://x.test/second/">)")
                    .ok());
    EXPECT_EQ(InitialisedURLs().back(), server.URL("/first/m.swf"));
    // A base that does not resolve leaves the document's own URL.
    ASSERT_TRUE(LoadBody(R"(<base href="http://exa mple.test/"><embed src="m.swf">)").ok());
    EXPECT_EQ(InitialisedURLs().back(), server.URL("/dir/m.swf"));
}

TEST_F(WebPageLoaderTest, FramesComeFromPlainNumbers) {
    ASSERT_TRUE(LoadBody(R"(<embed src=a.swf width=300 height=12.5>
        <embed src=a.swf width="100%" height="20px"><embed src=a.swf width=-5 height=+5>
        <embed src=a.swf width="" height="1e3"><embed src=a.swf>
        <embed src=a.swf width=999999999999999999999999999999999999999999999 height=0x10>)")
                    .ok());
    ASSERT_EQ(View::InitialisedViews().size(), 6U);
    EXPECT_EQ(ArgumentsOf(0).frame, NSMakeRect(0, 0, 300, 12.5));
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_EQ(ArgumentsOf(i).frame, NSMakeRect(0, 0, 0, 0)) << "view " << i;
    }
}

TEST_F(WebPageLoaderTest, EachPluginObjectMakesOneViewAndFallbackContentOnlyWhenUnused) {
    struct Case {
        const char* body;
        Strings urls; // the views' plug-in URLs, in order
        Strings tags;
    };
    const std::string base = server.URL("/dir/");
    const Case cases[] = {
        {R"(<object classid="clsid:D27CDB6E"><param name=movie value=a.swf>
            <embed src=b.swf></object>)",
         {base + "b.swf"},
         {"embed"}},
        {"<object data=a.swf><embed src=b.swf></object>", {base + "a.swf"}, {"object"}},
        {"<object><PARAM NAME=Movie VALUE=m.swf><param name=src value=s.swf></object>",
         {base + "m.swf"},
         {"object"}},
        {"<object><param name=flashvars value=x><param name=SRC value=s.swf></object>",
         {base + "s.swf"},
         {"object"}},
        {"<object><embed src=e.swf></object>", {base + "e.swf"}, {"embed"}},
        {"<object></object><object data=''><p>text</p></object><embed>", {}, {}},
        {"<object type=application/x-shockwave-flash><embed src=e.swf></object>",
         {"(nil)"},
         {"object"}},
        {"<object classid=x><object data=inner.swf><embed src=e.swf></object></object>",
         {base + "inner.swf"},
         {"object"}},
        {R"html(<script>document.write('<embed src=s.swf>')</script><!-- <embed src=c.swf> -->
            <template><embed src=t.swf></template><textarea><embed src=x.swf></textarea>)html",
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const Outcome<HostPage::Loaded> result = LoadBody(c.body);
        ASSERT_TRUE(result.ok()) << result.failure().message();
        EXPECT_EQ(result.value().pluginViewCount, c.urls.size());
        EXPECT_EQ(InitialisedURLs(), c.urls);
        Strings tags;
        for (const auto& view : View::InitialisedViews()) {
            tags.push_back(dynamic_cast<const DOMElement&>(*view->arguments().element).tagName());
        }
        EXPECT_EQ(tags, c.tags);
        View::ClearInitialisedViews();
    }
}

TEST_F(WebPageLoaderTest, PagesAreReadInTheCharacterSetTheyDeclare) {
    // The path is written in UTF-8 whatever the page's set; the query in the page's set.
    const std::string latin1 = "<embed src=\"caf\xE9.swf?n=\xE9\">";
    const std::string utf8 = "<embed src=\"caf\xC3\xA9.swf?n=\xC3\xA9\">";
    const struct {
        const char* what;
        std::string page;
        const char* contentType;
        const char* movie;
    } table[] = {
        {"the header", latin1, "text/html; charset=windows-1252", "caf%C3%A9.swf?n=%E9"},
        {"a meta charset", "<meta charset='iso-8859-1'>" + latin1, "text/html",
         "caf%C3%A9.swf?n=%E9"},
        {"a meta content",
         "<meta http-equiv=Content-Type content='text/html; charset=latin1'>" + latin1, "text/html",
         "caf%C3%A9.swf?n=%E9"},
        {"the header over a meta", "<meta charset=windows-1252>" + utf8, "text/html; charset=utf-8",
         "caf%C3%A9.swf?n=%C3%A9"},
        {"nothing declared", utf8, "text/html", "caf%C3%A9.swf?n=%C3%A9"},
        {"a character the set cannot hold", "<embed src=\"a.swf?n=\x80&#9731;\">",
         "text/html; charset=iso-8859-1", "a.swf?n=%80%26%239731%3B"},
    };
    for (const auto& row : table) {
        server.Page("/dir/page.html", row.page, row.contentType);
        ASSERT_TRUE(loader.load(server.URL("/dir/page.html")).ok()) << row.what;
        EXPECT_EQ(loader.pluginObjectURLs(), Strings{server.URL("/dir/") + row.movie}) << row.what;
    }
}

TEST_F(WebPageLoaderTest, FramesOfThePageAreLoadedOneLevelDeep) {
    server.Page("/ads/frame.html", "<embed src=ad.swf><iframe src=deeper.html></iframe>");
    server.Page("/ads/deeper.html", "<embed src=deep.swf>");
    const std::string hostname = "file:///etc/hostname";
    Outcome<HostPage::Loaded> result = LoadBody("<embed src=main.swf><iframe src=/ads/frame.html>"
                                                "</iframe><iframe src=" +
                                                hostname +
                                                "></iframe>"
                                                "<iframe src=/missing.html></iframe>");
    ASSERT_TRUE(result.ok()) << result.failure().message();
    // The web page's frame may not read local files; a missing frame costs nothing else.
    EXPECT_EQ(loader.pluginObjectURLs(),
              (Strings{server.URL("/dir/main.swf"), server.URL("/ads/ad.swf")}));
    ASSERT_EQ(result.value().pluginViewCount, 2U);
    EXPECT_EQ(URLText(ArgumentsOf(1).baseURL), server.URL("/ads/frame.html"));
}

TEST_F(WebPageLoaderTest, FailuresNameTheURLAndTheReason) {
    ASSERT_TRUE(LoadBody("<embed src=a.swf>").ok());
    ASSERT_EQ(loader.pluginViews().size(), 1U);

    Outcome<HostPage::Loaded> result = loader.load(server.URL("/missing.html"));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure().message(),
              "Could not load " + server.URL("/missing.html") + ": HTTP status 404");
    // A failed load replaces the page shown before.
    EXPECT_TRUE(loader.pluginViews().empty());
    EXPECT_FALSE(loader.documentURL());

    const std::string closed = PageServer::ClosedPortURL();
    result = loader.load(closed);
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.failure().message().find("Could not load " + closed + ": "),
              std::string::npos);
    EXPECT_NE(result.failure().message().find("onnect"), std::string::npos)
        << result.failure().message();

    result = loader.load("http://exa mple.test/page.html");
    EXPECT_EQ(result.failure().message(),
              "Could not load http://exa mple.test/page.html: not a valid URL");
    result = loader.load("ftp://127.0.0.1/page.html");
    EXPECT_EQ(result.failure().message(),
              "Could not load ftp://127.0.0.1/page.html: unsupported scheme \"ftp\"");

    WebPageLoader small(PageFetcher::Options{.maxPageBytes = 64});
    server.Page("/big.html", std::string(1000, 'x'));
    result = small.load(server.URL("/big.html"));
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.failure().message().find("larger than 64 bytes"), std::string::npos)
        << result.failure().message();
}

TEST_F(WebPageLoaderTest, RedirectsAreFollowedAndTheFinalURLIsTheBase) {
    server.Page("/new/dir/page.html", "<embed src=movie.swf>");
    server.Redirect("/old.html", "/new/dir/page.html");
    const Outcome<HostPage::Loaded> result = loader.load(server.URL("/old.html"));
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_EQ(loader.documentURL()->absoluteString(), server.URL("/new/dir/page.html"));
    EXPECT_EQ(URLText(ArgumentsOf(0).baseURL), server.URL("/new/dir/page.html"));
    EXPECT_EQ(InitialisedURLs(), Strings{server.URL("/new/dir/movie.swf")});

    // The web cannot send the host into local files.
    server.Redirect("/sneaky.html", "file:///etc/passwd");
    EXPECT_FALSE(loader.load(server.URL("/sneaky.html")).ok());
}

TEST_F(WebPageLoaderTest, LocalFilePagesLoad) {
    const TempDir dir;
    { std::ofstream(dir / "page.html") << "<object data='movies/a.swf'></object>"; }
    const std::string pageURL = "file://" + (dir / "page.html");
    const Outcome<HostPage::Loaded> result = loader.load(pageURL);
    ASSERT_TRUE(result.ok()) << result.failure().message();
    EXPECT_EQ(InitialisedURLs(), Strings{"file://" + (dir / "movies/a.swf")});

    EXPECT_FALSE(loader.load("file://" + (dir / "none.html")).ok());
}

TEST_F(WebPageLoaderTest, TheHostKeepsTheViewsOfItsPages) {
    server.Page("/p.html", "<embed src=a.swf>");
    Ref<NSObject> view;
    {
        HostApplication host;
        ASSERT_EQ(host.openPage(*URL::URLWithString(server.URL("/p.html")))
                      .result()
                      .value()
                      .pluginViewCount,
                  1U);
        view = host.pages().front()->pluginViews().front();
        View::ClearInitialisedViews();
        EXPECT_EQ(view->retainCount(), 2);
    }
    EXPECT_EQ(view->retainCount(), 1);
}

} // namespace

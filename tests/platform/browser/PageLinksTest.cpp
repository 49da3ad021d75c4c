#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "browser/HostApplication.h"
#include "browser/PageEngines.h"
#include "browser/chromium/ChromiumProcess.h"
#include "foundation/RunLoop.h"

namespace {

// Where a page leads, as each engine reads it: its links and its frames' links, resolved against
// their bases, each once, web addresses only; with Chromium, also what the page's scripts added.
TEST(PageLinksTest, EachEngineReadsWhereAPageLeads) {
    LoopbackServer server;
    server.Http().Get("/dir/page.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<base href='/base/'><a href='one.html'>1</a><a href='one.html#again'>1</a>"
            "<map><area href='/two.html'></map><iframe src='frame.html'></iframe>"
            "<a href='javascript:void(0)'>no</a><a href='mailto:a@b'>no</a><a>no href</a>"
            "<script>const a = document.createElement('a'); a.href = '/scripted.html';"
            "document.body.appendChild(a);</script>",
            "text/html");
    });
    server.Http().Get("/base/frame.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<a href='inner.html'>in the frame</a>", "text/html");
    });
    server.Http().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<p>", "text/html");
    });
    server.Start();
    // A frame loaded with the page is part of it: where it leads, the page leads.
    std::vector<std::string> expected = {server.Url("/base/one.html"), server.Url("/two.html"),
                                         server.Url("/base/inner.html")};
    for (const bool chromium : {false, true}) {
        if (chromium && ChromiumProcess::Find().empty()) {
            GTEST_SKIP() << "Chromium is not installed";
        }
        HostApplication host;
        if (chromium) {
            ChromiumOptions options;
            options.settle = std::chrono::milliseconds(200);
            options.readLinks = true;
            Outcome<std::unique_ptr<PageEngine>> engine = page_engines::Chromium(options);
            ASSERT_TRUE(engine) << engine.failure().message();
            host.setPageEngine(std::move(engine.value()));
            // What the page's script adds, after its anchors.
            expected.insert(expected.begin() + 2, server.Url("/scripted.html"));
        } else {
            host.setPageEngine(page_engines::Static());
        }
        HostPage& page = host.openPage(std::string_view(server.Url("/dir/page.html")));
        ASSERT_TRUE(RunLoop::Main().RunUntil([&] { return host.pagesFinished(); },
                                             std::chrono::seconds(60)));
        ASSERT_TRUE(page.result()) << page.result().failure().message();
        EXPECT_EQ(page.links(), expected) << (chromium ? "chromium" : "static");
    }
}

} // namespace

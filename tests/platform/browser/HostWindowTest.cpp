#include "browser/HostWindow.h"

#include <gtest/gtest.h>

#include "PageServer.h"
#include "appkit/NSApplication.h"
#include "browser/HostApplication.h"
#include "browser/PageEngines.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "browser/chromium/ChromiumProcess.h"
#include "foundation/RunLoop.h"
#include "webkit/DownloadActivity.h"

namespace {

// A person types an address and presses Load: the window reports the page's plug-in objects and
// whether each was fetched, and shows the transfers while they run.
TEST(HostWindowTest, LoadsTheTypedPageAndReportsItsObjectsAndTransfers) {
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    PageServer server;
    server.Page("/dir/page.html", "<html><body><embed src=caught.swf><object data=other.swf>"
                                  "</object></body></html>");
    HostApplication host;
    HostWindowController& window = *host.windowController();
    const std::string caught = server.URL("/dir/caught.swf");
    const std::string other = server.URL("/dir/other.swf");

    ASSERT_TRUE(window.address->userEditedText("not an address"));
    ASSERT_TRUE(NSApp().performClick(*window.loadButton));
    EXPECT_EQ(window.status->stringValue(), "Could not load not an address: not a valid URL");

    ASSERT_TRUE(window.address->userEditedText(server.URL("/dir/page.html")));
    ASSERT_TRUE(NSApp().performClick(*window.loadButton));
    EXPECT_EQ(window.status->stringValue(),
              "Loaded " + server.URL("/dir/page.html") + ": 2 plug-in views");

    DownloadActivity& activity = DownloadActivity::Shared();
    activity.Began(9001, caught);
    activity.Received(9001, 2048);
    window.Refresh();
    EXPECT_EQ(window.pluginObjects->stringValue(),
              server.URL("/dir/page.html") +
                  " (2 plug-in objects: 1 downloading, 1 not caught)\n  " + caught +
                  " \u2014 downloading\n  " + other + " \u2014 not caught\n");
    EXPECT_EQ(window.transfers->stringValue().rfind("caught.swf  2.0 kB", 0), 0U)
        << window.transfers->stringValue();

    // The end of a transfer shows without waiting for the next tick.
    activity.Ended(9001, true);
    EXPECT_TRUE(RunLoop::Main().RunUntil(
        [&] {
            return window.pluginObjects->stringValue().find(caught + " \u2014 caught\n") !=
                   std::string::npos;
        },
        std::chrono::milliseconds(200)));
    EXPECT_EQ(window.transfers->stringValue(), "");
    WebBaseNetscapePluginView::UnregisterClass();
}

// With the engine that runs scripts, the page loads after Load returns, and stays open: objects
// its scripts insert, even after it was done, are listed as they come.
TEST(HostWindowTest, PagesThatRunScriptsListTheObjectsTheyInsertAsTheyCome) {
    if (ChromiumProcess::Find().empty()) {
        GTEST_SKIP() << "Chromium is not installed (Debian package \"chromium\")";
    }
    WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
    PageServer server;
    // The later object comes long after the page is done (300 ms of quiet), however loaded the
    // machine.
    server.Page("/page.html", "<body><script>const add = (name) => { const e = "
                              "document.createElement('embed'); e.src = name; "
                              "document.body.appendChild(e); };"
                              "add('first.swf'); setTimeout(() => add('later.swf'), 4000);"
                              "</script>");
    HostApplication host;
    ChromiumOptions options;
    options.settle = std::chrono::milliseconds(300);
    options.keepPagesOpen = true;
    Outcome<std::unique_ptr<PageEngine>> chromium = page_engines::Chromium(options);
    ASSERT_TRUE(chromium) << chromium.failure().message();
    host.setPageEngine(std::move(chromium.value()));
    HostWindowController& window = *host.windowController();
    const std::string page = server.URL("/page.html");

    ASSERT_TRUE(window.address->userEditedText(page));
    ASSERT_TRUE(NSApp().performClick(*window.loadButton));
    EXPECT_EQ(window.status->stringValue(), "Loading " + page + "\u2026");
    const auto listed = [&](const std::string& name) {
        return window.pluginObjects->stringValue().find(server.URL("/" + name)) !=
               std::string::npos;
    };
    ASSERT_TRUE(
        RunLoop::Main().RunUntil([&] { return host.pagesFinished(); }, std::chrono::seconds(60)));
    EXPECT_EQ(window.status->stringValue(), "Loaded " + page + ": 1 plug-in views");
    EXPECT_TRUE(listed("first.swf"));
    EXPECT_FALSE(listed("later.swf"));
    EXPECT_TRUE(
        RunLoop::Main().RunUntil([&] { return listed("later.swf"); }, std::chrono::seconds(60)))
        << window.pluginObjects->stringValue();
    WebBaseNetscapePluginView::UnregisterClass();
}

} // namespace

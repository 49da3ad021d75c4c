#include "browser/HostWindow.h"

#include <gtest/gtest.h>

#include "PageServer.h"
#include "appkit/NSApplication.h"
#include "browser/HostApplication.h"
#include "browser/WebBaseNetscapePluginView.h"
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

} // namespace

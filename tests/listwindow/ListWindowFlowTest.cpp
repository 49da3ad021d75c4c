#include <filesystem>
#include <map>

#include "ListWindowHarness.h"
#include "LoopbackServer.h"
#include "appkit/NSApplication.h"
#include "appkit/NSMenuItem.h"
#include "browser/WebBaseNetscapePluginView.h"
#include "foundation/RunLoop.h"
#include "foundation/URL.h"
#include "host/HVXMenuController.h"
#include "host/HVXPlugIn.h"
#include "host/SafariMethods.h"
#include "swf/SWFInfoText.h"

namespace {

using Call = ScriptedTestPage::Call;

struct Facts {
    double rate;
    uint16_t frames;
    uint8_t version;
    std::vector<std::string> panel; // name, size, version, frame size, rate, count
};

// The whole window as a user meets it: the host catches movies from a page, the menu opens the
// window, the page lists them, a selection is described, a reload shows a later capture, and a
// close and a new command build the window again.
class ListWindowFlowTest : public ListWindowHarness {
protected:
    void SetUp() override {
        ListWindowHarness::SetUp();
        WebBaseNetscapePluginView::RegisterClass(PluginViewInitialisers::Both);
        HVXPlugIn::load(); // the menu and the capture, as at bundle load
        for (const auto& [name, facts] : movies) {
            bytes[name] = Movie(facts.rate, facts.frames, facts.version);
        }
        server.Http().Get(
            R"(/page/(.*))", [](const httplib::Request& request, httplib::Response& response) {
                std::string embeds;
                const std::vector<std::string> names =
                    request.matches[1].str() == "three.html"
                        ? std::vector<std::string>{"alpha", "beta", "gamma"}
                        : std::vector<std::string>{"delta"};
                for (const std::string& name : names) {
                    embeds += "<embed src=\"/movies/" + name + ".swf\">";
                }
                response.set_content("<html><body>" + embeds + "</body></html>", "text/html");
            });
        server.Http().Get(R"(/movies/(.*))", [this](const httplib::Request& request,
                                                    httplib::Response& response) {
            const std::vector<uint8_t>& movie = bytes.at(request.matches[1].str());
            response.set_content(std::string(movie.begin(), movie.end()),
                                 "application/x-shockwave-flash");
        });
        server.Start();
    }
    void TearDown() override {
        WebBaseNetscapePluginView::UnregisterClass();
        ListWindowHarness::TearDown();
    }

    void CatchFrom(const std::string& page, size_t expected) {
        ASSERT_TRUE(host->openPage(*URL::URLWithString(server.Url("/page/" + page))).result().ok());
        ASSERT_TRUE(RunLoop::Main().RunUntil([&] { return m_arraySWFUrl.size() >= expected; },
                                             std::chrono::seconds(20)));
    }
    static void ChooseListCommand() {
        for (const Ref<NSMenuItem>& item :
             HVXMenuController::sharedController()->menu->itemArray()) {
            if (item->action() == sel_registerName("showHVXSWFListWindow:")) {
                ASSERT_TRUE(NSApp().performClick(*item));
                return;
            }
        }
        FAIL() << "the menu has no list command";
    }
    std::vector<std::string> ListedPaths() const {
        std::vector<std::string> paths;
        for (const CapturedSWF& entry : m_arraySWFUrl) {
            paths.push_back(PagePath(entry.SWFName));
        }
        return paths;
    }

    std::map<std::string, Facts> movies = {
        {"alpha.swf", {24, 10, 10, {"alpha", "", "10", "550*400px", "24", "10"}}},
        {"beta.swf", {12.5, 250, 8, {"beta", "", "8", "550*400px", "12", "250"}}},
        {"gamma.swf", {29.97, 3000, 9, {"gamma", "", "9", "550*400px", "29", "3000"}}},
        {"delta.swf", {60, 1, 10, {"delta", "", "10", "550*400px", "60", "1"}}},
    };
    std::map<std::string, std::vector<uint8_t>> bytes;
    LoopbackServer server;
};

TEST_F(ListWindowFlowTest, CaughtMoviesAreListedDescribedReloadedAndListedAgainAfterAClose) {
    CatchFrom("three.html", 3);
    ChooseListCommand();
    Ref<HVXSWFListWindowController> first(
        HVXSWFListWindowController::sharedSWFListWindowController());
    ASSERT_TRUE(first->window()->isVisible());
    NewPageCalls(*first); // what went out before the page had its functions

    PageBecomesReady(*first);
    EXPECT_EQ(NewPageCalls(*first), (std::vector<Call>{{"infoCurrentSWF", {m_downSWFPath + "/"}},
                                                       {"Reload", ListedPaths()}}));
    EXPECT_EQ(ListedPaths().size(), 3U);

    // The fetches finish in any order: index 1 is whichever the list holds there.
    ASSERT_TRUE(PageOf(first->swfWebview.get()).CallNative("cocoaApp", "OnSelectedSWF", {"1"}));
    const std::string selected = m_arraySWFUrl[1].SWFName;
    const Facts& facts = movies.at(selected);
    std::vector<std::string> expected = facts.panel;
    // The size shown is the header's length: that of the uncompressed movie.
    expected[1] = SWFInfoText::SizeText(
        static_cast<uint32_t>(Movie(facts.rate, facts.frames, facts.version, false).size()));
    const std::vector<std::string> panel = {
        first->filename->stringValue(),    first->moviesize->stringValue(),
        first->fileversion->stringValue(), first->framesize->stringValue(),
        first->framerate->stringValue(),   first->framecount->stringValue()};
    EXPECT_EQ(panel, expected);
    EXPECT_EQ(first->m_SWFName, selected);
    EXPECT_EQ(NewPageCalls(*first), (std::vector<Call>{{"infoFrameSize", {"550", "400"}}}));

    // A later capture reaches the page only through the reload button.
    CatchFrom("later.html", 4);
    RunLoop::Main().RunFor(std::chrono::milliseconds(450));
    EXPECT_TRUE(NewPageCalls(*first).empty());
    ASSERT_TRUE(NSApp().performClick(*first->btnReload));
    EXPECT_EQ(NewPageCalls(*first),
              (std::vector<Call>{{"infoCurrentSWF", {m_downSWFPath + "/" + selected}},
                                 {"Reload", ListedPaths()}}));
    EXPECT_EQ(ListedPaths().size(), 4U);

    // The command while the window is open only brings it forward.
    ChooseListCommand();
    EXPECT_EQ(HVXSWFListWindowController::sharedSWFListWindowController(), first.get());
    EXPECT_EQ(PageOf(first->swfWebview.get()).loads().size(), 1U);

    first->window()->performClose(nullptr);
    ChooseListCommand();
    HVXSWFListWindowController* second =
        HVXSWFListWindowController::sharedSWFListWindowController();
    ASSERT_NE(second, first.get());
    ASSERT_TRUE(second->window()->isVisible());
    NewPageCalls(*second);
    PageBecomesReady(*second);
    EXPECT_EQ(NewPageCalls(*second), (std::vector<Call>{{"infoCurrentSWF", {m_downSWFPath + "/"}},
                                                        {"Reload", ListedPaths()}}));
}

} // namespace

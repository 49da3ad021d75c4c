#include <filesystem>

#include "ListWindowHarness.h"
#include "RecordingWorkspaceBackend.h"
#include "appkit/NSApplication.h"
#include "appkit/NSWorkspace.h"
#include "capture/CaptureRecords.h"
#include "foundation/Log.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSNotificationCenter.h"
#include "foundation/objects/NSString.h"

namespace {

using Call = ScriptedTestPage::Call;

class ListWindowPageTest : public ListWindowHarness {
protected:
    // The page reports a selection the way its script does.
    bool Select(HVXSWFListWindowController& controller, const std::string& index) {
        return PageOf(controller.swfWebview.get()).CallNative("cocoaApp", "OnSelectedSWF", {index});
    }
    static std::vector<std::string> Panel(const HVXSWFListWindowController& controller) {
        return {controller.filename->stringValue(),    controller.moviesize->stringValue(),
                controller.fileversion->stringValue(), controller.framesize->stringValue(),
                controller.framerate->stringValue(),   controller.framecount->stringValue()};
    }
};

TEST_F(ListWindowPageTest, WithNothingCaughtThePollRunsUntilTheFirstMovieArrives) {
    HVXSWFListWindowController& controller = OpenWindow();
    PageOf(controller.swfWebview.get()).SetProperty("cocoaApp", "bSWFReady", true);
    RunLoop::Main().RunFor(std::chrono::milliseconds(500));
    EXPECT_TRUE(NewPageCalls(controller).empty());
    ASSERT_TRUE(controller.timer);

    Catch("first.swf", Movie(24, 1));
    ASSERT_TRUE(
        RunLoop::Main().RunUntil([&] { return !controller.timer; }, std::chrono::seconds(2)));
    EXPECT_EQ(NewPageCalls(controller),
              (std::vector<Call>{{"infoCurrentSWF", {m_downSWFPath + "/"}},
                                 {"Reload", {PagePath("first.swf")}}}));
    EXPECT_TRUE(controller.btnSaveSWF->isEnabled());
    EXPECT_TRUE(controller.btnOpenSWF->isEnabled());

    // Once the list went out, later captures wait for the reload button.
    Catch("second.swf", Movie(24, 1));
    RunLoop::Main().RunFor(std::chrono::milliseconds(450));
    EXPECT_TRUE(NewPageCalls(controller).empty());
    NSApp().performClick(*controller.btnReload);
    EXPECT_EQ(NewPageCalls(controller),
              (std::vector<Call>{{"infoCurrentSWF", {m_downSWFPath + "/"}},
                                 {"Reload", {PagePath("first.swf"), PagePath("second.swf")}}}));
    EXPECT_FALSE(controller.timer) << "a reload never restarts the poll";
}

TEST_F(ListWindowPageTest, PathsReachThePageEscaped) {
    Catch("a b#1?.swf", Movie(24, 1));
    Catch("caf\xC3\xA9[1].swf", Movie(24, 1));
    HVXSWFListWindowController& controller = OpenWindow();
    PageBecomesReady(controller);
    const std::vector<Call> calls = NewPageCalls(controller);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), (Call{"Reload",
                                  {m_downSWFPath + "/a%20b%231%3F.swf",
                                   m_downSWFPath + "/caf%c3%a9%5B1%5D.swf"}}));
}

TEST_F(ListWindowPageTest, ASelectionFillsThePanelAndAnswersTheFrameSize) {
    Catch("intro.swf", Movie(12.5, 300, 6, false, 988)); // 1024 bytes in all
    Catch("my.long.movie.name.with.dots.swf", Movie(29.97, 1200, 9, true, 5000));
    HVXSWFListWindowController& controller = OpenWindow();
    PageBecomesReady(controller);
    NewPageCalls(controller);

    ASSERT_EQ(std::filesystem::file_size(m_downSWFPath + "/intro.swf"), 1024U);
    ASSERT_TRUE(Select(controller, "1"));
    EXPECT_EQ(controller.m_SWFName, "my.long.movie.name.with.dots.swf");
    EXPECT_EQ(Panel(controller), (std::vector<std::string>{"my.long.movie.name...", "4 KB", "9",
                                                           "550*400px", "29", "1200"}))
        << "the length counts the uncompressed movie";
    EXPECT_EQ(controller.filename->toolTip(), "my.long.movie.name.with.dots");
    EXPECT_TRUE(controller.framesize->textColor()->isEqual(*controller.infoColor));
    EXPECT_EQ(NewPageCalls(controller), (std::vector<Call>{{"infoFrameSize", {"550", "400"}}}));

    // The next list names the selection as the current movie.
    controller.onReload(nullptr);
    EXPECT_EQ(NewPageCalls(controller).front(),
              (Call{"infoCurrentSWF", {m_downSWFPath + "/my.long.movie.name.with.dots.swf"}}));

    ASSERT_TRUE(Select(controller, " 0 "));
    EXPECT_EQ(Panel(controller),
              (std::vector<std::string>{"intro", "1024 Bytes", "6", "550*400px", "12", "300"}));
}

TEST_F(ListWindowPageTest, IndexesOutsideTheListChangeNothing) {
    Catch("only.swf", Movie(24, 1));
    HVXSWFListWindowController& controller = OpenWindow();
    PageBecomesReady(controller);
    NewPageCalls(controller);
    const std::vector<std::string> before = Panel(controller);
    for (const char* index : {"1", "-1", "abc", "", "0x0", "1.0", "99999999999999999999"}) {
        Select(controller, index);
        EXPECT_EQ(controller.m_SWFName, "") << index;
        EXPECT_EQ(Panel(controller), before) << index;
    }
    EXPECT_TRUE(NewPageCalls(controller).empty());
}

TEST_F(ListWindowPageTest, AVanishedOrUnreadableMovieLeavesThePanelButIsTheNewSelection) {
    Catch("kept.swf", Movie(24, 10));
    Catch("gone.swf", Movie(30, 20));
    Catch("junk.swf", {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'});
    HVXSWFListWindowController& controller = OpenWindow();
    PageBecomesReady(controller);
    ASSERT_TRUE(Select(controller, "0"));
    const std::vector<std::string> shown = Panel(controller);
    NewPageCalls(controller);

    std::filesystem::remove(m_downSWFPath + "/gone.swf");
    ASSERT_TRUE(Select(controller, "1"));
    EXPECT_EQ(controller.m_SWFName, "gone.swf");
    EXPECT_EQ(Panel(controller), shown);
    ASSERT_TRUE(Select(controller, "2"));
    EXPECT_EQ(controller.m_SWFName, "junk.swf");
    EXPECT_EQ(Panel(controller), shown);
    EXPECT_TRUE(NewPageCalls(controller).empty()) << "no frame size for what was not read";
}

TEST_F(ListWindowPageTest, APathTooLongForTheParserIsDeclinedWhole) {
    Catch("short.swf", Movie(24, 5));
    HVXSWFListWindowController& controller = OpenWindow();
    ASSERT_TRUE(Select(controller, "0"));
    const std::vector<std::string> shown = Panel(controller);

    // A capture folder deep enough that "movie.swfX" needs 1024 bytes of path, one more than the
    // parser's buffer holds, while the path cut to fit names another real movie.
    const std::string name = "movie.swfX";
    std::string folder = home.Path().string();
    const size_t wanted = 1024 - 1 - name.size();
    while (wanted - folder.size() - 1 > 255) {
        folder += "/" + std::string(200, 'd');
    }
    folder += "/" + std::string(wanted - folder.size() - 1, 'p');
    ASSERT_EQ(folder.size(), wanted);
    m_downSWFPath = folder;
    Catch("movie.swf", Movie(30, 77));
    Catch(name, Movie(60, 88));

    ASSERT_TRUE(Select(controller, "2"));
    EXPECT_EQ(controller.m_SWFName, name);
    EXPECT_EQ(Panel(controller), shown);
}

TEST_F(ListWindowPageTest, TheBrowserPageReachesOnlyLogSelectionAndReadiness) {
    Catch("a.swf", Movie(24, 1));
    HVXSWFListWindowController& controller = OpenWindow();
    ScriptedTestPage& page = PageOf(controller.swfWebview.get());
    LogCapture log;
    EXPECT_TRUE(page.CallNative("cocoaApp", "WriteCocoaAppLog", {"hello"}));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"JavaScript Log: hello"});
    for (const char* refused :
         {"OnClickAdSWF", "JSWriteCocoaAppLog_", "JSOnSelectedSWF_", "IsSWFReady", "awakeFromNib",
          "ExcuteCommand_withArguments_", "setBSWFReady_", "bSWFReady", "loadURL", "dealloc"}) {
        EXPECT_FALSE(page.CallNative("cocoaApp", refused, {"0"})) << refused;
        EXPECT_FALSE(page.CallNative("cocoaApp", refused, {})) << refused;
    }
    EXPECT_FALSE(page.CallNative("cocoaApp", "OnSelectedSWF", {})) << "one argument exactly";

    EXPECT_EQ(page.GetProperty("cocoaApp", "bSWFReady"), std::optional<WebScriptValue>(false));
    for (const char* key : {"IsSWFReady", "m_winScriptObject", "mainFrameURL", "frame", "isa"}) {
        EXPECT_FALSE(page.GetProperty("cocoaApp", key)) << key;
        EXPECT_FALSE(page.SetProperty("cocoaApp", key, true)) << key;
    }
    EXPECT_FALSE(page.SetProperty("cocoaApp", "bSWFReady", std::string("yes")));
    EXPECT_TRUE(page.SetProperty("cocoaApp", "bSWFReady", true));
    EXPECT_TRUE(controller.swfWebview->IsSWFReady());
}

TEST_F(ListWindowPageTest, TheAdPageOpensItsWebLinksAndNothingElse) {
    auto recording = std::make_unique<RecordingWorkspaceBackend>();
    RecordingWorkspaceBackend& calls = *recording;
    std::unique_ptr<WorkspaceBackend> previous =
        NSWorkspace::sharedWorkspace().setBackend(std::move(recording));
    HVXSWFListWindowController& controller = OpenWindow();
    ScriptedTestPage& ad = PageOf(controller.adWebview.get());
    LogCapture log;

    EXPECT_TRUE(ad.CallNative("cocoaApp", "OnClickAdSWF", {"https://swfharvex.example/"}));
    EXPECT_TRUE(ad.CallNative("cocoaApp", "OnClickAdSWF", {"file:///usr/bin/xterm"}));
    EXPECT_TRUE(ad.CallNative("cocoaApp", "OnClickAdSWF", {"not a url"}));
    EXPECT_FALSE(ad.CallNative("cocoaApp", "OnSelectedSWF", {"0"}));
    EXPECT_TRUE(ad.SetProperty("cocoaApp", "bSWFReady", true));
    EXPECT_EQ(calls.calls(),
              (std::vector<WorkspaceCall>{{"openURL", {"https://swfharvex.example/"}}}));
    EXPECT_EQ(log.Lines().size(), 2U) << "each refused link is logged";
    EXPECT_EQ(controller.m_SWFName, "");
    NSWorkspace::sharedWorkspace().setBackend(std::move(previous));
}

} // namespace

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ChromiumCaptureFixture.h"
#include "browser/chromium/ChromiumEngine.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;

namespace {

TEST_F(ChromiumCaptureTest, MoviesThatScriptsInsertAreCaughtByteExactWithTheirNamesAndAddresses) {
    std::ifstream library(HVX_NODE_MODULES "/swfobject/index.js");
    if (!library) {
        GTEST_SKIP() << "swfobject is not installed in " HVX_NODE_MODULES " (scripts/test does it)";
    }
    // The ways sites inserted their movies, one page each; every page also has a movie written
    // in its HTML, as a check that script pages lose nothing the static reader found.
    const std::string object = R"(<object type="application/x-shockwave-flash" )";
    Page("swfobject.html",
         R"(<script>var module = {};</script><script src="/js/swfobject.js"></script>
            <div id="alt">Get the Flash player</div>
            <script>swfobject.embedSWF("/m/swfobject.swf", "alt", "550", "400", "9.0.0");</script>)");
    Page(
        "write.html",
        R"(<script>document.write('<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" width="550" height="400"><param name="movie" value="/m/written.swf"><embed src="/m/written.swf" type="application/x-shockwave-flash"></embed></object>');</script>)");
    Page("inner.html",
         "<div id=d></div><script>document.getElementById('d').innerHTML = '" + object +
             R"(data="/m/inner.swf"><embed src="/m/fallback.swf"></object>';</script>)");
    Page("later.html", R"(<body><script>
            const o = document.createElement('object');
            o.type = 'application/x-shockwave-flash';
            document.body.appendChild(o);
            setTimeout(() => { o.data = '/m/given-later.swf'; }, 300);</script>)");
    Page("ad.html", "<embed src='/m/ad.swf'>");
    Page("framed.html", "<iframe src='" + OtherSite("/p/ad.html") + "'></iframe>");
    Page("late.html", R"(<body><script>addEventListener('load', () => setTimeout(() => {
            const e = document.createElement('embed'); e.src = '/m/late.swf';
            document.body.appendChild(e); }, 800));</script>)");
    Page("latin.html", "<embed src=\"/m/caf\xE9.swf?n=\xE9\">", "text/html; charset=windows-1252");
    // What nobody sees is not fetched; the page's movie is caught all the same.
    Page("decorated.html",
         R"html(<style>@font-face { font-family: f; src: url(/unneeded/f.woff); }</style>
            <p style="font-family: f; background: url(/unneeded/b.png)">text</p>
            <img src=/unneeded/i.png><video src=/unneeded/v.mp4 autoplay></video>
            <script>navigator.sendBeacon('/unneeded/beacon', 'x');</script>
            <embed src=/m/decorated.swf>)html");

    PageEngineChoice chromium;
    chromium.engine = "chromium";
    const std::vector<std::string> names = {"swfobject.html", "write.html",    "inner.html",
                                            "later.html",     "framed.html",   "late.html",
                                            "latin.html",     "decorated.html"};
    std::vector<std::string> urls;
    urls.reserve(names.size());
    for (const std::string& name : names) {
        urls.push_back(PageURL(name));
    }
    const BrowserWatch browser(Tmp().string());
    ASSERT_EQ(Capture(urls, chromium), CaptureCommand::kAllLoaded) << err;
    EXPECT_EQ(err.find("stopped"), std::string::npos) << err;
    EXPECT_NE(err.find("page engine: chromium"), std::string::npos) << err;
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/swfobject.swf"), "swfobject.swf"},
                            {server.Url("/m/written.swf"), "written.swf"},
                            {server.Url("/m/inner.swf"), "inner.swf"},
                            {server.Url("/m/given-later.swf"), "given-later.swf"},
                            {OtherSite("/m/ad.swf"), "ad.swf"},
                            {server.Url("/m/late.swf"), "late.swf"},
                            {server.Url("/m/caf%C3%A9.swf?n=%E9"), "caf%C3%A9.swf"},
                            {server.Url("/m/decorated.swf"), "decorated.swf"},
                        }));
    EXPECT_EQ(unneeded, 0);
    // None of the browser's processes or its profile outlives the command.
    EXPECT_TRUE(fs::is_empty(Tmp()));
    EXPECT_GT(browser.Seen(), 0U);
    EXPECT_EQ(browser.Left(), std::vector<std::string>());
}

// A page is done once nothing is left in flight, not after the settle time: here an upper bound
// far beyond the test's time. What a timer, a request's answer, a polling script or a frame still
// brings is waited for; a heartbeat that never stops is not.
TEST_F(ChromiumCaptureTest, APageIsDoneOnceQuietAfterWhatItsTimersRequestsAndFramesBring) {
    for (const std::string name : {"timer", "framed-timer"}) {
        Page(name + ".html", R"(<body><script>addEventListener('load', () => setTimeout(() => {
            const e = document.createElement('embed'); e.src = '/m/)" +
                                 name + R"(.swf'; document.body.appendChild(e); }, 1000));
            </script>)");
    }
    Page("fetched.html", R"(<body><script>fetch('/p/name.txt').then((r) => r.text())
            .then((name) => { const e = document.createElement('embed'); e.src = '/m/' + name;
            document.body.appendChild(e); });</script>)");
    Page("name.txt", "fetched.swf", "text/plain");
    Page("heartbeat.html", R"(<body><embed src=/m/heartbeat.swf><p id=t></p><script>
            let n = 0; setInterval(() => { t.textContent = ++n; }, 50);</script>)");
    Page("polls.html", R"(<body><script>let n = 0; const poll = setInterval(() => {
            if (++n < 6) return; clearInterval(poll); const e = document.createElement('embed');
            e.src = '/m/polled.swf'; document.body.appendChild(e); }, 100);</script>)");
    Page("framed.html", "<iframe src='" + OtherSite("/p/framed-timer.html") + "'></iframe>");

    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Capture({PageURL("timer.html"), PageURL("fetched.html"), PageURL("heartbeat.html"),
                       PageURL("polls.html"), PageURL("framed.html")},
                      Chromium(20, 60)),
              CaptureCommand::kAllLoaded)
        << err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/timer.swf"), "timer.swf"},
                            {server.Url("/m/fetched.swf"), "fetched.swf"},
                            {server.Url("/m/heartbeat.swf"), "heartbeat.swf"},
                            {server.Url("/m/polled.swf"), "polled.swf"},
                            {OtherSite("/m/framed-timer.swf"), "framed-timer.swf"},
                        }));
}

// Apart from the pages above: its thousands of elements keep a core busy for seconds, which on a
// loaded machine would delay their late scripts past the settle time.
TEST_F(ChromiumCaptureTest, APagePastTheLimitOfPluginObjectsEndsThereKeepingWhatItHeld) {
    // Hidden, as Chromium lays out thousands of plug-in elements slowly; without addresses, as
    // each caught address is a transfer.
    Page("many.html",
         "<embed src=/m/many.swf><div id=h hidden></div><script>"
         "for (let i = 0; i < 10000; ++i) { const o = document.createElement('object');"
         "o.type = 'application/x-shockwave-flash'; h.appendChild(o); }</script>");
    PageEngineChoice chromium;
    chromium.engine = "chromium";
    ASSERT_EQ(Capture({PageURL("many.html")}, chromium), CaptureCommand::kAllLoaded) << err;
    EXPECT_NE(err.find(PageURL("many.html") + ": more than 5000 plug-in objects"),
              std::string::npos)
        << err;
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/many.swf"), "many.swf"},
                        }));
}

TEST_F(ChromiumCaptureTest, HostilePagesEndAtTheirLimitAndWhatTheyHeldIsKept) {
    Page("hangs.html", "<embed src=/m/before-hang.swf><script async src=/hang></script>");
    Page("loops.html", "<embed src=/m/loops.swf><script>for (;;) {}</script>");
    Page("dialogs.html",
         "<script>alert('a'); confirm('b'); prompt('c'); window.open('/p/dialogs.html');"
         "</script><embed src=/m/after-dialogs.swf>");
    Page(
        "away.html",
        "<embed src=/m/away.swf><script>setTimeout(() => location = '/p/back.html', 50);</script>");
    Page(
        "back.html",
        "<embed src=/m/back.swf><script>setTimeout(() => location = '/p/away.html', 50);</script>");

    const BrowserWatch browser(Tmp().string());
    const auto started = std::chrono::steady_clock::now();
    const int status = Capture({PageURL("hangs.html"), PageURL("loops.html"),
                                PageURL("dialogs.html"), PageURL("away.html")},
                               Chromium(1, 8));
    // The page that never finished loading fails the run; the others said why they ended.
    EXPECT_EQ(status, CaptureCommand::kSomeFailed) << err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25));
    EXPECT_NE(err.find(PageURL("hangs.html") + ": still loading after 8 s"), std::string::npos)
        << err;
    EXPECT_NE(err.find(PageURL("loops.html") + ": still loading after 8 s"), std::string::npos)
        << err;
    EXPECT_NE(err.find(PageURL("away.html") + ": stopped after 8 s"), std::string::npos) << err;
    EXPECT_EQ(err.find("dialogs.html"), std::string::npos) << err;
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/before-hang.swf"), "before-hang.swf"},
                            {server.Url("/m/loops.swf"), "loops.swf"},
                            {server.Url("/m/after-dialogs.swf"), "after-dialogs.swf"},
                            {server.Url("/m/away.swf"), "away.swf"},
                            {server.Url("/m/back.swf"), "back.swf"},
                        }));
    // Not even the renderer still busy in its loop when the command returned.
    EXPECT_GT(browser.Seen(), 0U);
    EXPECT_EQ(browser.Left(), std::vector<std::string>());
}

TEST_F(ChromiumCaptureTest, WithoutChromiumTheStaticEngineRunsUnlessChromiumWasAskedFor) {
    Page("plain.html", "<embed src=/m/plain.swf>");
    Set("SWFHARVEX_CHROMIUM", (temp.Path() / "no-such-browser").string());
    ASSERT_EQ(Capture({PageURL("plain.html")}, PageEngineChoice{}), CaptureCommand::kAllLoaded);
    EXPECT_NE(err.find("Chromium is not installed: install the Debian package \"chromium\""),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("page engine: static"), std::string::npos) << err;
    EXPECT_EQ(Caught().size(), 1U);

    EXPECT_EQ(Capture({PageURL("plain.html")}, Chromium(2, 30)), CaptureCommand::kNoEngine);
    EXPECT_NE(err.find("\"chromium\""), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

// An address that is itself a movie holds that movie, as a browser shows it.
TEST_F(ChromiumCaptureTest, AMovieAddressIsCaughtAsItsOwnPage) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Capture({server.Url("/m/direct.swf")}, Chromium(1, 20)), 0) << err;
    EXPECT_EQ(Caught(),
              (std::map<std::string, std::string>{{server.Url("/m/direct.swf"), "direct.swf"}}));
    // It ends at once rather than wait for its time limit.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
}

// A file page must be a regular file, whichever engine reads it, and is refused before anything
// opens it: a FIFO would hold the page (and the run) until its time limit, a device would be read
// without end.
TEST_F(ChromiumCaptureTest, LocalPagesThatAreNoRegularFilesAreRefusedAsTheStaticEngineRefusesThem) {
    const fs::path fifo = temp.Path() / "page.html";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::map<std::string, std::string> refusals = {
        {"file://" + fifo.string(), fifo.string() + " is not a regular file (a FIFO)"},
        {"file:///dev/zero", "/dev/zero is not a regular file (a character device)"},
    };
    for (const auto& [url, reason] : refusals) {
        const std::string line = Joined({"swfharvex: Could not load ", url, ": ", reason, "\n"});
        for (const PageEngineChoice& engine : {StaticEngine(), Chromium(1, 10)}) {
            EXPECT_EQ(Capture({url}, engine), CaptureCommand::kSomeFailed) << engine.engine;
            EXPECT_NE(err.find(line), std::string::npos) << engine.engine << ": " << err;
            EXPECT_EQ(Caught().size(), 0U);
        }
    }
}

// A page whose renderer passes the memory bound is ended there and lost, naming why; the movie it
// held before is caught, and the other pages go on. Its script allocates without end, in buffers
// outside the script heap or in the heap itself.
TEST_F(ChromiumCaptureTest, PagesThatAllocateWithoutEndAreEndedAtTheBoundAndTheOthersGoOn) {
    // Each stops at 2 GB, twice the bound, and then only loops: should the bound ever fail, the
    // test fails at the page's time limit rather than take the machine's memory.
    Page("buffers.html", "<embed src=/m/buffers.swf><script>const kept = [];"
                         "for (let i = 0; i < 32; ++i) kept.push(new Uint8Array(64 << 20).fill(1));"
                         "for (;;) {}</script>");
    Page("arrays.html", "<embed src=/m/arrays.swf><script>const kept = [];"
                        "for (let i = 0; i < 256; ++i) kept.push(new Array(1 << 20).fill(i + 0.5));"
                        "for (;;) {}</script>");
    Page("calm.html", "<embed src=/m/calm.swf>");
    const std::vector<std::string> hogs = {"buffers.html", "arrays.html"};

    const BrowserWatch browser(Tmp().string());
    EXPECT_EQ(Capture({PageURL("buffers.html"), PageURL("arrays.html"), PageURL("calm.html")},
                      Chromium(1, 60)),
              CaptureCommand::kSomeFailed)
        << err;
    for (const std::string& hog : hogs) {
        EXPECT_NE(err.find("swfharvex: Could not load " + PageURL(hog) + ": used more than " +
                           std::to_string(ChromiumEngine::kMostPageMemoryMiB) + " MB of memory"),
                  std::string::npos)
            << err;
    }
    EXPECT_EQ(err.find("calm.html"), std::string::npos) << err;
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/buffers.swf"), "buffers.swf"},
                            {server.Url("/m/arrays.swf"), "arrays.swf"},
                            {server.Url("/m/calm.swf"), "calm.swf"},
                        }));
    EXPECT_GT(browser.Seen(), 0U);
    EXPECT_EQ(browser.Left(), std::vector<std::string>());
}

// A movie at an address no one can fetch from (inline data, an object in the page's memory, a
// script) is named among the movies not caught, with the reason other refused schemes get; a
// data address megabytes long is shortened. Objects there that are no movies are not listed.
// Each engine in a test of its own: a process hosts one capture.
class UnfetchableMovies : public ChromiumCaptureTest {
protected:
    void Check(const PageEngineChoice& engine) {
        const std::string flash = "application/x-shockwave-flash";
        const std::string data = "data:" + flash + ";base64," + std::string(2 << 20, 'A');
        const std::string blob = "blob:" + server.Url("/0d4c1f2e-5b6a-4f7e-8c9d-0a1b2c3d4e5f");
        const std::string script = "javascript:void('movie')";
        Page("inline.html", "<embed src='" + data + "'><object type=" + flash + " data='" + blob +
                                "'></object><embed type=" + flash + " src=\"" + script +
                                "\"><object data='data:image/svg+xml,<svg/>'></object>"
                                "<embed src=/m/plain.swf>");
        const std::string shortData =
            data.substr(0, 64) + "\u2026 (" + std::to_string(data.size()) + " bytes)";

        EXPECT_EQ(Capture({PageURL("inline.html")}, engine), CaptureCommand::kSomeNotCaught) << err;
        const std::map<std::string, std::string> lost = NotCaught();
        EXPECT_EQ(lost, (std::map<std::string, std::string>{
                            {shortData, "only http and https movies are fetched"},
                            {blob, "only http and https movies are fetched"},
                            {script, "only http and https movies are fetched"},
                        }));
        for (const auto& [url, reason] : lost) {
            EXPECT_NE(err.find(Joined({"swfharvex: ", url, ": not caught: ", reason, "\n"})),
                      std::string::npos)
                << err;
        }
        EXPECT_LT(err.size(), 2000U);
        EXPECT_EQ(Caught(),
                  (std::map<std::string, std::string>{{server.Url("/m/plain.swf"), "plain.swf"}}));
    }
};

TEST_F(UnfetchableMovies, AreListedAsNotCaughtByTheStaticEngine) {
    Check(StaticEngine());
}

TEST_F(UnfetchableMovies, AreListedAsNotCaughtByChromium) {
    Check(Chromium(1, 60));
}

} // namespace

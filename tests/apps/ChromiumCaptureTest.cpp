#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"
#include "browser/chromium/ChromiumProcess.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;

namespace {

std::string Movie(const std::string& name) {
    std::string bytes(5'000 + name.size() * 97, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(name[i % name.size()] ^ (i * 13));
    }
    return bytes;
}

// Processes whose command line names `text` (the browser's profile lives in our TMPDIR).
std::vector<pid_t> ProcessesNaming(const std::string& text) {
    std::vector<pid_t> found;
    std::error_code error; // processes come and go while we look
    for (auto entry = fs::directory_iterator("/proc", error);
         !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // Read with plain calls: a process that ends while we read is just not there.
        std::string cmdline(4096, '\0');
        const int fd = open((entry->path() / "cmdline").c_str(), O_RDONLY);
        const ssize_t got = fd < 0 ? -1 : read(fd, cmdline.data(), cmdline.size());
        if (fd >= 0) {
            close(fd);
        }
        cmdline.resize(got > 0 ? static_cast<size_t>(got) : 0);
        if (cmdline.find(text) != std::string::npos && std::stoi(name) != getpid()) {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

PageEngineChoice Chromium(double settleSeconds, double pageTimeoutSeconds) {
    PageEngineChoice choice;
    choice.engine = "chromium";
    choice.settleSeconds = settleSeconds;
    choice.pageTimeoutSeconds = pageTimeoutSeconds;
    return choice;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// `swfharvex capture` with the Chromium engine, in-process, on pages served on loopback: pages
// are registered by path with their HTML, movies are served under /m/ with bytes of their own.
// HOME and TMPDIR point into a folder of the test's own, so the browser's profile is ours to
// watch.
class ChromiumCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (ChromiumProcess::Find().empty()) {
            GTEST_SKIP() << "Chromium is not installed (Debian package \"chromium\")";
        }
        fs::create_directories(temp.Path() / "tmp");
        Set("HOME", home.Path().string());
        Set("TMPDIR", (temp.Path() / "tmp").string());
        server.Http().Get("/p/(.*)",
                          [this](const httplib::Request& request, httplib::Response& response) {
                              const auto page = pages.find(request.matches[1]);
                              if (page == pages.end()) {
                                  response.status = 404;
                                  return;
                              }
                              response.set_content(page->second.first, page->second.second);
                          });
        server.Http().Get(
            "/m/(.*)", [](const httplib::Request& request, httplib::Response& response) {
                response.set_content(Movie(request.matches[1]), "application/x-shockwave-flash");
            });
        // Answers after 10 s or when the test ends, whichever is first.
        server.Http().Get("/hang", [this](const httplib::Request&, httplib::Response& response) {
            WaitFor([this] { return stopping.load(); }, std::chrono::seconds(10));
            response.set_content("", "text/plain");
        });
        server.Http().Get("/js/swfobject.js",
                          [](const httplib::Request&, httplib::Response& response) {
                              std::ifstream script(HVX_NODE_MODULES "/swfobject/index.js");
                              std::string text((std::istreambuf_iterator<char>(script)), {});
                              response.status = text.empty() ? 404 : 200;
                              response.set_content(text, "text/javascript");
                          });
        server.Start();
    }
    void TearDown() override {
        stopping = true;
        for (const auto& [name, value] : saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved.emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Page(const std::string& name, std::string html,
              std::string contentType = "text/html; charset=utf-8") {
        pages[name] = {std::move(html), std::move(contentType)};
    }
    std::string PageURL(const std::string& name) const { return server.Url("/p/" + name); }
    // The same server under another site's name: its frames run in a process of their own.
    std::string OtherSite(const std::string& path) const {
        std::string url = server.Url(path);
        return url.replace(url.find("127.0.0.1"), 9, "localhost");
    }

    int Capture(std::vector<std::string> urls, PageEngineChoice engine) {
        CaptureCommand::Options options;
        options.json = true;
        options.urls = std::move(urls);
        options.bundlePath = HVX_BUILT_BUNDLE;
        options.engine = std::move(engine);
        std::ostringstream outText;
        std::ostringstream errText;
        const int status = CaptureCommand(options).Run(outText, errText, false);
        out = outText.str();
        err = errText.str();
        return status;
    }
    // Address -> name of every caught movie, after checking each file is the movie served.
    std::map<std::string, std::string> Caught() {
        std::map<std::string, std::string> caught;
        const nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
        const nlohmann::json list = report.value("captured", nlohmann::json());
        EXPECT_TRUE(list.is_array()) << out;
        const fs::path folder = home.Path() / "Documents/SWFHarvexData";
        for (const auto& entry : list) {
            const std::string address = entry["SWFAddress"];
            const std::string name = entry["SWFName"];
            const std::string served = address.substr(address.find("/m/") + 3);
            std::string decoded = served.substr(0, served.find('?'));
            decoded = decoded == "caf%C3%A9.swf" ? "caf\xC3\xA9.swf" : decoded;
            EXPECT_EQ(ReadWholeFile((folder / name).string()), Movie(decoded)) << address;
            caught[address] = name;
        }
        return caught;
    }

    TempDir home;
    TempDir temp;
    std::map<std::string, std::optional<std::string>> saved;
    std::map<std::string, std::pair<std::string, std::string>> pages;
    std::atomic<bool> stopping{false};
    LoopbackServer server;
    std::string out;
    std::string err;
};

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
    // A page past the limit of plug-in objects is ended there, and what it held is caught.
    // Hidden, as Chromium lays out thousands of plug-in elements slowly; without addresses, as
    // each caught address is a transfer.
    Page("many.html",
         "<embed src=/m/many.swf><div id=h hidden></div><script>"
         "for (let i = 0; i < 10000; ++i) { const o = document.createElement('object');"
         "o.type = 'application/x-shockwave-flash'; h.appendChild(o); }</script>");

    PageEngineChoice chromium;
    chromium.engine = "chromium";
    const std::vector<std::string> names = {"swfobject.html", "write.html",  "inner.html",
                                            "later.html",     "framed.html", "late.html",
                                            "latin.html",     "many.html"};
    std::vector<std::string> urls;
    for (const std::string& name : names) {
        urls.push_back(PageURL(name));
    }
    ASSERT_EQ(Capture(urls, chromium), CaptureCommand::kAllLoaded) << err;
    EXPECT_EQ(err.find("stopped"), std::string::npos) << err;
    EXPECT_NE(err.find("page engine: chromium"), std::string::npos) << err;
    EXPECT_NE(err.find(PageURL("many.html") + ": more than 5000 plug-in objects"),
              std::string::npos)
        << err;
    EXPECT_EQ(Caught(), (std::map<std::string, std::string>{
                            {server.Url("/m/swfobject.swf"), "swfobject.swf"},
                            {server.Url("/m/written.swf"), "written.swf"},
                            {server.Url("/m/inner.swf"), "inner.swf"},
                            {server.Url("/m/given-later.swf"), "given-later.swf"},
                            {OtherSite("/m/ad.swf"), "ad.swf"},
                            {server.Url("/m/late.swf"), "late.swf"},
                            {server.Url("/m/caf%C3%A9.swf?n=%E9"), "caf%C3%A9.swf"},
                            {server.Url("/m/many.swf"), "many.swf"},
                        }));
    // None of the browser's processes or its profile outlives the command.
    EXPECT_TRUE(fs::is_empty(temp.Path() / "tmp"));
    EXPECT_TRUE(ProcessesNaming((temp.Path() / "tmp").string()).empty());
}

TEST_F(ChromiumCaptureTest, HostilePagesEndAtTheirLimitAndWhatTheyHeldIsKept) {
    Page("hangs.html", "<embed src=/m/before-hang.swf><img src=/hang>");
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
    EXPECT_TRUE(ProcessesNaming((temp.Path() / "tmp").string()).empty());
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

// The command in a process of its own, stopped while a page still loads: the browser goes with
// it, however it ends.
TEST_F(ChromiumCaptureTest, TheBrowserNeverOutlivesAnInterruptedCommand) {
    Page("slow.html", "<embed src=/m/slow.swf><img src=/hang>");
    const std::string tmp = (temp.Path() / "tmp").string();
    for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
        const pid_t command = fork();
        ASSERT_GE(command, 0);
        if (command == 0) {
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execl(HVX_SWFHARVEX, HVX_SWFHARVEX, "capture", "--engine", "chromium",
                  PageURL("slow.html").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        EXPECT_TRUE(
            WaitFor([&] { return ProcessesNaming(tmp).size() > 1; }, std::chrono::seconds(15)))
            << "the browser never started";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(command, signal);
        int status = 0;
        waitpid(command, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(WaitFor([&] { return ProcessesNaming(tmp).empty(); }, std::chrono::seconds(5)))
            << "signal " << signal << " left the browser running";
    }
}

} // namespace

namespace {

// An address that is itself a movie holds that movie, as a browser shows it.
TEST_F(ChromiumCaptureTest, AMovieAddressIsCaughtAsItsOwnPage) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Capture({server.Url("/m/direct.swf")}, Chromium(1, 20)), 0) << err;
    EXPECT_EQ(Caught(),
              (std::map<std::string, std::string>{{server.Url("/m/direct.swf"), "direct.swf"}}));
    // It ends at once rather than wait for its time limit.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
}

} // namespace

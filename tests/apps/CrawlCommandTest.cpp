#include "swfharvex/CrawlCommand.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "RedisServer.h"
#include "TempDir.h"
#include "WarcReadBack.h"
#include "crawl/SqliteDatabase.h"
#include "foundation/Sanitizer.h"
#include "swfharvex/CrawlMerge.h"
#include "swfharvex/CrawlState.h"
#include "warc/Sha1Digest.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The sanitizer build crawls a smaller site (the normal build crawls the whole one) and bounds
// memory more loosely.
constexpr bool kSanitized = kAddressSanitizer;
constexpr int kAcceptanceSite = kSanitized ? 300 : 2000;

// A generated site: pages in a tree (page i links to 2i+1 and 2i+2), a movie on every tenth (the
// first a big one when asked), a frame on every fiftieth holding a movie and the only link to a
// page, a menu movie on every hundredth whose code goes to a page no link names, a part robots.txt
// forbids, an endless calendar, a link away from the site; and a page whose script writes a link
// and a movie.
class CrawlCommandTest : public ::testing::Test {
protected:
    static constexpr size_t kBigMovieBytes = 6'000'000;

    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        MakeSite(150);
        // Bytes that do not compress, so that its records are as big as it is.
        uint32_t noise = 1;
        for (size_t i = 0; i < kBigMovieBytes; ++i) {
            noise = noise * 1'103'515'245U + 12'345U;
            bigMovie.push_back(static_cast<char>(noise >> 24U));
        }
        server.Http().Get(".*", [this](const httplib::Request& request,
                                       httplib::Response& response) {
            const std::string path =
                request.path + (request.params.empty() ? "" : "?d=" + request.get_param_value("d"));
            {
                std::lock_guard lock(logLock);
                log.emplace_back(path, Clock::now());
            }
            if (pageDelay.count() > 0) {
                std::this_thread::sleep_for(pageDelay);
            }
            const char* type = path.ends_with(".swf")  ? "application/x-shockwave-flash"
                               : path == "/robots.txt" ? "text/plain"
                                                       : "text/html";
            if (path.starts_with("/m/2") || path.starts_with("/m/6")) {
                // In two chunks: the archive keeps them as they came.
                response.set_chunked_content_provider(
                    type, [body = Body(path)](size_t, httplib::DataSink& sink) {
                        sink.write(body.data(), body.size() / 2);
                        sink.write(body.data() + body.size() / 2, body.size() - body.size() / 2);
                        sink.done();
                        return true;
                    });
                return;
            }
            response.set_content(Body(path), type);
            if (Body(path).empty()) {
                response.status = 404;
            }
        });
        server.Start();
    }
    // A site of `count` pages, with a menu movie for every hundredth.
    void MakeSite(int count) {
        pages = count;
        menuMovies.clear();
        for (int menu = 0; menu * 100 < pages; ++menu) {
            const fs::path json = home.Path() / "menu.json";
            std::ofstream(json) << R"({"version": 8, "width": 20, "height": 20, "frameRate": 12,
                "frames": 1, "loads": [{"url": "/menu/)"
                                << menu << R"(.html", "target": "_self"}]})";
            const fs::path movie = home.Path() / "menu.swf";
            const std::string command =
                std::string(HVX_SWFMOVIE) + " '" + json.string() + "' -o '" + movie.string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
            menuMovies.push_back(ReadWholeFile(movie.string()));
        }
    }

    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    // The number in "/f/12.html" after `prefix` ("/f/"), when there is one.
    static std::optional<int> Number(const std::string& path, const std::string& prefix) {
        if (!path.starts_with(prefix)) {
            return std::nullopt;
        }
        int number = 0;
        const char* begin = path.data() + prefix.size();
        const auto [end, error] = std::from_chars(begin, path.data() + path.size(), number);
        return error == std::errc() && end != begin ? std::optional(number) : std::nullopt;
    }

    std::string Body(const std::string& path) const {
        if (path == "/robots.txt") {
            return "User-agent: *\nDisallow: /private/\n";
        }
        if (const std::optional<int> menu = Number(path, "/m/menu-")) {
            return *menu < static_cast<int>(menuMovies.size()) ? menuMovies[*menu] : "";
        }
        if (path == "/m/0.swf" && bigFirstMovie) {
            return bigMovie;
        }
        if (path == "/js/index.html") {
            return "<script>document.write(\"<a href='/js/scripted.html'>s</a>"
                   "<embed src='/m/js.swf'>\");</script>";
        }
        if (path == "/js/scripted.html") {
            return "<p>only a script names this page</p>";
        }
        if (Number(path, "/menu/")) {
            return "<p>reached through a menu movie only</p>";
        }
        if (const std::optional<int> frame = Number(path, "/f/"); frame && *frame % 50 == 0) {
            return "<embed src='/m/f" + std::to_string(*frame) + ".swf'><a href='/x/" +
                   std::to_string(*frame) + ".html'>x</a>";
        }
        if (Number(path, "/x/")) {
            return "<p>reached through a frame only</p>";
        }
        if (path.starts_with("/m/")) {
            return "FWS movie " + path;
        }
        if (const std::optional<int> day = Number(path, "/cal?d=")) {
            return "<a href='/cal?d=" + std::to_string(*day + 1) + "'>next day</a>";
        }
        if (path.starts_with("/private/")) {
            return "<embed src='/m/private.swf'>";
        }
        const std::optional<int> page = Number(path, "/p/");
        if (!page || *page >= pages) {
            return {};
        }
        const std::string number = std::to_string(*page);
        std::string html = "<p>page " + number + "</p>";
        for (const int child : {2 * *page + 1, 2 * *page + 2}) {
            if (child < pages) {
                html += "<a href='/p/" + std::to_string(child) + ".html'>" + std::to_string(child) +
                        "</a>";
            }
        }
        if (*page % 10 == 0) {
            html += "<embed src='/m/" + number + ".swf'>";
        }
        if (*page % 50 == 0) {
            html += "<iframe src='/f/" + number + ".html'></iframe>";
        }
        if (*page % 100 == 0) {
            html += "<embed src='/m/menu-" + std::to_string(*page / 100) + ".swf'>";
        }
        if (*page == 0) {
            html += "<a href='/private/secret.html'>s</a><a href='/cal?d=1'>calendar</a>"
                    "<a href='http://elsewhere.invalid/'>away</a><a href='/p/1.html#again'>1</a>";
        }
        return html;
    }

    // Requests of each path since `from` (an index into the log).
    std::map<std::string, int> Requests(size_t from = 0) {
        std::lock_guard lock(logLock);
        std::map<std::string, int> counts;
        for (size_t i = from; i < log.size(); ++i) {
            ++counts[log[i].first];
        }
        return counts;
    }
    size_t LogSize() {
        std::lock_guard lock(logLock);
        return log.size();
    }

    // The pages a crawl's state holds as done (state 2), read without resuming it.
    std::set<std::string> Done(const std::string& state) const {
        std::set<std::string> done;
        Outcome<std::unique_ptr<SqliteDatabase>> database =
            SqliteDatabase::Open(fs::path(state) / "frontier.db");
        EXPECT_TRUE(database) << database.failure().message();
        if (!database) {
            return done;
        }
        Outcome<SqliteDatabase::Statement> rows =
            database.value()->Prepare("SELECT address FROM pages WHERE state = 2");
        EXPECT_TRUE(rows) << rows.failure().message();
        const std::string root = server.Url("/");
        while (rows && rows.value().Step().value()) {
            done.insert(rows.value().Text(0).substr(root.size() - 1));
        }
        return done;
    }

    CrawlCommand::Options Options() const {
        CrawlCommand::Options options;
        options.seeds = {server.Url("/p/0.html")};
        options.stateFolder = (home.Path() / "crawl").string();
        options.depth = 12;
        options.delayMs = 0;
        options.json = true;
        options.bundlePath = HVX_BUILT_BUNDLE;
        options.engine.engine = "static";
        options.dependencies.depth = 0;
        return options;
    }

    int Crawl(const CrawlCommand::Options& options) {
        std::ostringstream outText;
        std::ostringstream errText;
        const int status = CrawlCommand(options).Run(outText, errText, false);
        out = nlohmann::json::parse(outText.str(), nullptr, false);
        err = errText.str();
        return status;
    }

    // Every page and movie an uninterrupted crawl fetches: the site's own list.
    std::set<std::string> Allowed() const {
        std::set<std::string> allowed = {"/robots.txt"};
        for (int page = 0; page < pages; ++page) {
            const std::string number = std::to_string(page);
            allowed.insert("/p/" + number + ".html");
            if (page % 10 == 0) {
                allowed.insert("/m/" + number + ".swf");
            }
            if (page % 50 == 0) {
                allowed.insert(
                    {"/f/" + number + ".html", "/m/f" + number + ".swf", "/x/" + number + ".html"});
            }
            if (page % 100 == 0) {
                const std::string menu = std::to_string(page / 100);
                allowed.insert({"/m/menu-" + menu + ".swf", "/menu/" + menu + ".html"});
            }
        }
        return allowed;
    }
    // Of those, the pages crawled (a frame is part of its page) and the movies.
    size_t AllowedPages() const {
        const std::set<std::string> allowed = Allowed();
        return static_cast<size_t>(
            std::count_if(allowed.begin(), allowed.end(), [](const std::string& path) {
                return path.ends_with(".html") && !path.starts_with("/f/");
            }));
    }
    size_t AllowedMovies() const {
        const std::set<std::string> allowed = Allowed();
        return static_cast<size_t>(
            std::count_if(allowed.begin(), allowed.end(),
                          [](const std::string& path) { return path.ends_with(".swf"); }));
    }

    // Reads the crawl's WARC files back with warcio: each record whole, its digests right; the
    // responses' count for each path of the site and, with `contents`, each one's content
    // decoded.
    std::map<std::string, int> Archived(std::map<std::string, std::string>* contents = nullptr) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(home.Path() / "archive")) {
            if (entry.path().string().ends_with(".warc.gz")) {
                files.push_back(entry.path());
            }
        }
        std::map<std::string, int> responses;
        const std::string root = server.Url("/");
        for (const nlohmann::json& record :
             warc_read_back::Records(HVX_WARC_READER, HVX_NODE_MODULES, files)) {
            EXPECT_TRUE(record.is_object() && record["blockDigestOK"] && record["lengthOK"])
                << record.dump(2);
            if (!record.is_object() || record["type"] != "response") {
                continue;
            }
            EXPECT_TRUE(record["payloadDigestOK"].get<bool>()) << record.dump(2);
            const std::string path =
                record["headers"]["warc-target-uri"].get<std::string>().substr(root.size() - 1);
            ++responses[path];
            if (contents != nullptr) {
                (*contents)[path] = record["contentSha1"];
            }
        }
        return responses;
    }
    void ExpectArchived(const std::map<std::string, int>& responses,
                        const std::map<std::string, std::string>& contents) const {
        for (const std::string& path : Allowed()) {
            EXPECT_GE(responses.count(path), 1U) << path << " is not in the archive";
            if (path.ends_with(".swf") && contents.contains(path)) {
                EXPECT_EQ(contents.at(path), Sha1Digest::Of(Body(path))) << path;
            }
        }
        EXPECT_FALSE(responses.contains("/private/secret.html"));
    }

    void ExpectMoviesKept(const std::string& state = {}) const {
        const std::string root = server.Url("/");
        for (const std::string& path : Allowed()) {
            if (path.ends_with(".swf")) {
                const fs::path kept = fs::path(state.empty() ? Options().stateFolder : state) /
                                      "mirror" / root.substr(7, root.size() - 8) / path.substr(1);
                EXPECT_EQ(ReadWholeFile(kept.string()), Body(path)) << path;
            }
        }
    }

    // The seven pages two links deep came a delay of 150 ms apart.
    void ExpectSevenPagesApart() {
        std::vector<Clock::time_point> pages;
        {
            std::lock_guard lock(logLock);
            for (const auto& [path, when] : log) {
                if (path.starts_with("/p/")) {
                    pages.push_back(when);
                }
            }
        }
        ASSERT_EQ(pages.size(), 7U);
        for (size_t i = 1; i < pages.size(); ++i) {
            // Measured where the server answers: a connection made faster than the last moves it.
            EXPECT_GE(pages[i] - pages[i - 1], std::chrono::milliseconds(120)) << "page " << i;
        }
    }

    // Runs swfharvex in a process of its own (what a process remembers of its transfers would
    // mix runs), with writes failing past `fileSizeLimit` bytes (when not 0) as on a full disk;
    // its exit status, `out` and `err` as it left them, and its peak memory in `peakKiB`.
    int RunChild(std::vector<const char*> args, rlim_t fileSizeLimit = 0) {
        const std::string outFile = (home.Path() / "stdout.txt").string();
        const std::string errFile = (home.Path() / "stderr.txt").string();
        args.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            if (fileSizeLimit != 0) {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
                signal(SIGXFSZ, SIG_IGN); // the write fails instead
            }
            if (freopen(outFile.c_str(), "w", stdout) != nullptr &&
                freopen(errFile.c_str(), "w", stderr) != nullptr) {
                execv(HVX_SWFHARVEX, const_cast<char* const*>(args.data()));
            }
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        peakKiB = usage.ru_maxrss;
        out = nlohmann::json::parse(ReadWholeFile(outFile), nullptr, false);
        err = ReadWholeFile(errFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    TempDir home;
    const char* previousHome = nullptr;
    int pages = 0;
    std::vector<std::string> menuMovies; // by number
    std::string bigMovie;
    bool bigFirstMovie = false; // the first movie is bigMovie
    std::mutex logLock;
    std::vector<std::pair<std::string, Clock::time_point>> log;
    std::chrono::milliseconds pageDelay{0};
    LoopbackServer server;
    nlohmann::json out;
    std::string err;
    long peakKiB = 0;
};

// A site of 2,000 pages (300 under the sanitizer): every allowed page once, nothing robots.txt
// forbids, the calendar cut at the depth, nothing away from the site, every movie kept byte-exact;
// all of it archived.
TEST_F(CrawlCommandTest, EveryAllowedPageOnceAndEveryMovieKept) {
    MakeSite(kAcceptanceSite);
    CrawlCommand::Options options = Options();
    options.maxPages = 5000;
    options.warc = (home.Path() / "archive" / "site.warc.gz").string();
    options.warcSize = "256K";
    ASSERT_EQ(Crawl(options), CrawlCommand::kAllDone) << err;
    std::map<std::string, int> requests = Requests();
    int calendar = 0;
    for (auto entry = requests.begin(); entry != requests.end();) {
        if (entry->first.starts_with("/cal?d=")) {
            calendar += entry->second;
            entry = requests.erase(entry);
        } else {
            ++entry;
        }
    }
    EXPECT_EQ(calendar, 12); // depths 1 to 12
    std::map<std::string, int> expected;
    for (const std::string& path : Allowed()) {
        expected[path] = 1;
    }
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(out["pagesDone"], AllowedPages() + 12) << out.dump(2);
    EXPECT_EQ(out["pagesForbidden"], 1);
    EXPECT_EQ(out["movies"], AllowedMovies());
    ExpectMoviesKept();

    // Archived as fetched, each exchange once, rotated into files of about 256 KiB, and indexed.
    std::map<std::string, std::string> contents;
    std::map<std::string, int> responses = Archived(&contents);
    ExpectArchived(responses, contents);
    std::erase_if(responses, [](const auto& entry) { return entry.first.starts_with("/cal?"); });
    EXPECT_EQ(responses, expected);
    EXPECT_GE(out["warc"].size(), 2U) << out.dump(2); // rotated
    std::ifstream index(home.Path() / "archive" / "site.cdxj");
    size_t lines = 0;
    for (std::string line; std::getline(index, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, expected.size() + 12);
}

// Killed at three random moments (the first run, then two resumed ones), then resumed from its
// state alone: the union is the uninterrupted crawl, and no page done before a kill is fetched
// again after it.
TEST_F(CrawlCommandTest, AKilledCrawlResumesWithoutFetchingADonePageAgain) {
    pageDelay = std::chrono::milliseconds(20);
    const std::string state = Options().stateFolder;
    const std::string seed = Options().seeds[0];
    const std::string warc = (home.Path() / "archive" / "site.warc.gz").string();
    std::vector<std::pair<size_t, std::set<std::string>>> kills; // where in the log, what was done
    for (int kill = 0; kill < 3; ++kill) {
        const size_t from = LogSize();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (kill == 0) {
                execl(HVX_SWFHARVEX, HVX_SWFHARVEX, "crawl", "--engine", "static", "--delay", "0",
                      "--depth", "8", "--read-depth", "0", "--bundle", HVX_BUILT_BUNDLE, "--state",
                      state.c_str(), "--warc", warc.c_str(), "--warc-size", "40K", seed.c_str(),
                      static_cast<char*>(nullptr));
            } else {
                execl(HVX_SWFHARVEX, HVX_SWFHARVEX, "crawl", "--bundle", HVX_BUILT_BUNDLE,
                      "--resume", state.c_str(), static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        const auto started = Clock::now();
        const size_t wanted = from + 15 + static_cast<size_t>(std::rand() % 20);
        while (LogSize() < wanted && Clock::now() - started < std::chrono::seconds(60)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the crawl ended before kill " << kill;
        kills.emplace_back(LogSize(), Done(state));
    }
    EXPECT_GT(kills.back().second.size(), kills.front().second.size());

    pageDelay = std::chrono::milliseconds(0);
    CrawlCommand::Options resume;
    resume.resume = true;
    resume.stateFolder = state;
    resume.bundlePath = HVX_BUILT_BUNDLE;
    resume.json = true;
    ASSERT_EQ(Crawl(resume), CrawlCommand::kAllDone) << err;
    for (const auto& [killedAt, done] : kills) {
        const std::map<std::string, int> after = Requests(killedAt);
        for (const std::string& path : done) {
            EXPECT_FALSE(after.contains(path)) << path << " was done, and fetched again";
        }
    }
    const std::map<std::string, int> all = Requests();
    for (const std::string& path : Allowed()) {
        EXPECT_TRUE(all.contains(path)) << path << " was never fetched";
    }
    EXPECT_FALSE(all.contains("/private/secret.html"));
    EXPECT_EQ(out["pagesDone"], AllowedPages() + 8) << out.dump(2);
    ExpectMoviesKept();
    // Whole records only, a record of everything done.
    std::map<std::string, std::string> contents;
    ExpectArchived(Archived(&contents), contents);
}

// A disk that fills (here: a file-size limit, which fails writes as a full disk does) while a big
// movie comes in stops the crawl with a status that says so, naming the file, its state whole:
// resumed once there is room, it ends as an uninterrupted crawl would, nothing lost. With an
// archive, the archive is the first to fill; without, the movie's own file.
TEST_F(CrawlCommandTest, AFullDiskStopsTheCrawlAndTheResumeGoesOn) {
    bigFirstMovie = true;
    for (const bool archived : {true, false}) {
        SCOPED_TRACE(archived ? "with an archive" : "without an archive");
        const std::string state = (home.Path() / (archived ? "archived" : "plain")).string();
        const std::string warc = (home.Path() / "archive" / "site.warc.gz").string();
        const std::string seed = Options().seeds[0];
        std::vector<const char*> args = {HVX_SWFHARVEX,  "crawl",      "--engine", "static",
                                         "--delay",      "0",          "--depth",  "8",
                                         "--read-depth", "0",          "--bundle", HVX_BUILT_BUNDLE,
                                         "--state",      state.c_str()};
        if (archived) {
            args.insert(args.end(), {"--warc", warc.c_str()});
        }
        args.push_back(seed.c_str());
        // Above what the frontier's journal grows to in this crawl, below the big movie.
        EXPECT_EQ(RunChild(args, kBigMovieBytes - 1'000'000), CrawlCommand::kCannotWrite) << err;
        EXPECT_NE(err.find(archived ? "site.warc.gz" : "/m/0.swf"), std::string::npos) << err;
        EXPECT_FALSE(Done(state).contains("/p/0.html"));

        ASSERT_EQ(RunChild({HVX_SWFHARVEX, "crawl", "--bundle", HVX_BUILT_BUNDLE, "--json",
                            "--resume", state.c_str()}),
                  CrawlCommand::kAllDone)
            << err;
        EXPECT_EQ(out["pagesDone"], AllowedPages() + 8) << out.dump(2);
        ExpectMoviesKept(state);
        if (archived) {
            std::map<std::string, std::string> contents;
            ExpectArchived(Archived(&contents), contents);
        }
    }
}

// What a hostile site throws at a crawl costs it bounded time, memory and disk, and the crawl goes
// on: a page of a million links (more than its reader may use memory for: lost, saying so), one of
// a hundred thousand (the first 10,000 are followed), a redirect loop, a robots.txt that never
// ends, a movie that is not there (named); a host whose robots.txt answers 500 is not crawled.
TEST_F(CrawlCommandTest, AHostileSiteCostsBoundedTimeMemoryAndDisk) {
    LoopbackServer hostile;
    hostile.Http().Get("/robots.txt", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/plain", [](size_t offset, httplib::DataSink& sink) {
                static const std::string lines(64 * 1024, '#');
                // 100 MB of comments, unless the reader stops first.
                return offset < 100'000'000 && sink.write(lines.data(), lines.size());
            });
    });
    hostile.Http().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<a href='/million.html'>m</a><a href='/loop'>l</a>"
            "<a href='/ok.html'>ok</a><a href='/many.html'>many</a><embed src='/gone.swf'>",
            "text/html");
    });
    std::map<std::string, std::string> linkPages;
    for (const auto& [path, links] :
         {std::pair{"/million.html", 1'000'000}, {"/many.html", 100'000}}) {
        std::string& html = linkPages[path];
        for (int link = 0; link < links; ++link) {
            html += "<a href=/l/" + std::to_string(link) + ">";
        }
    }
    hostile.Http().Get("/(million|many).html", [&linkPages](const httplib::Request& request,
                                                            httplib::Response& response) {
        const std::string& html = linkPages[request.path];
        response.set_content_provider(
            html.size(), "text/html",
            [&html](size_t offset, size_t length, httplib::DataSink& sink) {
                return sink.write(html.data() + offset, std::min<size_t>(length, 1 << 16));
            });
    });
    hostile.Http().Get("/gone.swf", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
    });
    hostile.Http().Get("/loop", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/loop");
    });
    hostile.Http().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<p>fine</p>", "text/html");
    });
    hostile.Start();
    LoopbackServer failing;
    failing.Http().Get(
        ".*", [](const httplib::Request&, httplib::Response& response) { response.status = 500; });
    failing.Start();

    const std::string state = Options().stateFolder;
    const std::string warc = (home.Path() / "archive" / "site.warc.gz").string();
    const std::string seed = hostile.Url("/");
    const std::string forbidden = failing.Url("/");
    const auto started = Clock::now();
    EXPECT_EQ(RunChild({HVX_SWFHARVEX, "crawl", "--engine", "static", "--delay", "0", "--bundle",
                        HVX_BUILT_BUNDLE, "--json", "--max-pages", "60", "--state", state.c_str(),
                        "--warc", warc.c_str(), seed.c_str(), forbidden.c_str()}),
              CrawlCommand::kSomeFailed)
        << err;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(120));
    EXPECT_LT(peakKiB, (kSanitized ? 1536 : 400) * 1024);
    // 60 taken: the two seeds (one forbidden), the four pages the first links to (two lost), and
    // 54 of the many page's links.
    EXPECT_EQ(out["pagesDone"], 57) << out.dump(2);
    EXPECT_EQ(out["pagesForbidden"], 1) << out.dump(2);
    ASSERT_EQ(out["lost"].size(), 2U) << out.dump(2);
    EXPECT_EQ(out["lost"][0]["url"], hostile.Url("/million.html"));
    EXPECT_NE(out["lost"][0]["reason"].get<std::string>().find("memory"), std::string::npos);
    EXPECT_EQ(out["lost"][1]["url"], hostile.Url("/loop"));
    EXPECT_NE(out["lost"][1]["reason"].get<std::string>().find("redirects"), std::string::npos);
    ASSERT_EQ(out["lostMovies"].size(), 1U) << out.dump(2);
    EXPECT_EQ(out["lostMovies"][0]["url"], hostile.Url("/gone.swf"));
    EXPECT_NE(err.find("/gone.swf: movie not caught"), std::string::npos) << err;
    // Ten thousand links queued at most, and the state and archive stay small.
    Outcome<std::unique_ptr<SqliteDatabase>> database =
        SqliteDatabase::Open(fs::path(state) / "frontier.db");
    ASSERT_TRUE(database) << database.failure().message();
    Outcome<SqliteDatabase::Statement> count =
        database.value()->Prepare("SELECT count(*) FROM pages");
    ASSERT_TRUE(count && count.value().Step().value());
    EXPECT_LE(std::stoll(count.value().Text(0)), 10'010);
    uint64_t kept = 0;
    for (const auto& entry : fs::recursive_directory_iterator(home.Path())) {
        kept += entry.is_regular_file() ? entry.file_size() : 0;
    }
    EXPECT_LT(kept, uint64_t{64} << 20);
}

// With Chromium, the links and movies a page's scripts write are followed and caught too, and the
// pages are archived as the browser received them.
TEST_F(CrawlCommandTest, WithChromiumTheLinksScriptsWriteAreFollowed) {
    CrawlCommand::Options options = Options();
    options.seeds = {server.Url("/js/index.html")};
    options.engine.engine = "chromium";
    options.engine.settleSeconds = 0.3;
    options.warc = (home.Path() / "archive" / "site.warc.gz").string();
    const int status = Crawl(options);
    if (status == CrawlCommand::kNoEngine) {
        GTEST_SKIP() << "Chromium cannot run here: " << err;
    }
    ASSERT_EQ(status, CrawlCommand::kAllDone) << err;
    EXPECT_EQ(Requests()["/js/scripted.html"], 1);
    EXPECT_EQ(out["pagesDone"], 2) << out.dump(2);
    EXPECT_EQ(out["movies"], 1) << out.dump(2);
    // The pages as the browser received them, the movie its script wrote as we fetched it.
    std::map<std::string, std::string> contents;
    std::map<std::string, int> archived = Archived(&contents);
    archived.erase("/favicon.ico"); // the browser asks for it by itself
    EXPECT_EQ(archived, (std::map<std::string, int>{{"/robots.txt", 1},
                                                    {"/js/index.html", 1},
                                                    {"/js/scripted.html", 1},
                                                    {"/m/js.swf", 1}}));
    for (const char* path : {"/js/index.html", "/js/scripted.html", "/m/js.swf"}) {
        EXPECT_EQ(contents[path], Sha1Digest::Of(Body(path))) << path;
    }
}

// A host gets its next page only the delay after the last.
TEST_F(CrawlCommandTest, AHostWaitsTheDelayBetweenPages) {
    CrawlCommand::Options options = Options();
    options.depth = 2; // seven pages
    options.delayMs = 150;
    options.ignoreRobots = true;
    ASSERT_EQ(Crawl(options), CrawlCommand::kAllDone) << err;
    ExpectSevenPagesApart();
}

// Workers sharing one crawl over Redis, each a process with its own home (the plug-in's capture
// folder is a user's).
class SharedCrawlTest : public CrawlCommandTest {
protected:
    void SetUp() override {
        CrawlCommandTest::SetUp();
        if (!redis.running()) {
            GTEST_SKIP() << "redis-server is not installed (scripts/test installs it)";
        }
    }
    std::vector<std::string> Seeding(std::vector<std::string> common) const {
        common.push_back(Options().seeds[0]);
        return common;
    }
    static std::vector<std::string> Joining(std::vector<std::string> common) {
        common.push_back("--worker");
        return common;
    }

    // Starts a worker named `id`; the first one seeds the crawl.
    pid_t Spawn(const std::string& id, const std::vector<std::string>& extra) {
        const fs::path worker = home.Path() / ("worker-" + id);
        fs::create_directories(worker);
        std::vector<std::string> args = {HVX_SWFHARVEX,  "crawl",
                                         "--engine",     "static",
                                         "--read-depth", "0",
                                         "--bundle",     HVX_BUILT_BUNDLE,
                                         "--frontier",   active->address().Text(),
                                         "--crawl-id",   "site",
                                         "--worker-id",  id,
                                         "--lease",      "2",
                                         "--state",      (worker / "state").string(),
                                         "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        const pid_t child = fork();
        if (child == 0) {
            setenv("HOME", worker.c_str(), 1);
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            if (freopen((worker / "out.txt").c_str(), "w", stdout) != nullptr &&
                freopen((worker / "err.txt").c_str(), "w", stderr) != nullptr) {
                execv(HVX_SWFHARVEX, argv.data());
            }
            _exit(127);
        }
        return child;
    }
    int Wait(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Err(const std::string& id) const {
        return ReadWholeFile((home.Path() / ("worker-" + id) / "err.txt").string());
    }

    RedisServer redis;
    RedisServer* active = &redis; // the server the workers use
};

// Three workers, one killed with SIGKILL mid-crawl and another started: every allowed page is
// fetched, and again only what the killed worker held when it died (its leases lapsed); every
// movie is kept by one worker or another, and is in the merged index once.
TEST_F(SharedCrawlTest, AKilledWorkersPagesGoToTheOthers) {
    MakeSite(kAcceptanceSite);
    pageDelay = std::chrono::milliseconds(2);
    const std::string seed = Options().seeds[0];
    const fs::path archive = home.Path() / "archive";
    const std::vector<std::string> common = {
        "--delay",     "0",    "--depth", "12",
        "--max-pages", "5000", "--warc",  (archive / "site.warc.gz").string()};
    std::vector<std::string> seeding = common;
    seeding.push_back(seed);
    std::vector<std::string> joining = common;
    joining.push_back("--worker");
    const pid_t first = Spawn("a", seeding);
    const pid_t second = Spawn("b", joining);
    const pid_t third = Spawn("c", joining);
    const auto started = Clock::now();
    while (LogSize() < static_cast<size_t>(kAcceptanceSite) / 5 &&
           Clock::now() - started < std::chrono::seconds(60)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(second, SIGKILL);
    EXPECT_EQ(Wait(second), 128 + SIGKILL);
    const pid_t fourth = Spawn("d", joining);
    for (const auto& [id, child] : {std::pair{"a", first}, {"c", third}, {"d", fourth}}) {
        EXPECT_EQ(Wait(child), CrawlCommand::kAllDone) << id << ": " << Err(id);
    }

    const std::map<std::string, int> requests = Requests();
    size_t again = 0;
    for (const std::string& path : Allowed()) {
        EXPECT_TRUE(requests.contains(path)) << path << " was never fetched";
        if (path != "/robots.txt" && requests.contains(path) && requests.at(path) > 1) {
            ++again;
        }
    }
    // Only what the killed worker held: the pages whose leases lapsed (at most the eight a worker
    // holds at once), and their movies.
    Outcome<std::unique_ptr<RedisClient>> client =
        RedisClient::Connect(redis.address(), std::chrono::seconds(5));
    ASSERT_TRUE(client);
    const Outcome<RedisReply> lapsed =
        client.value()->Command({"HGET", "swfharvex:{site}:counts", "lapsed"});
    ASSERT_TRUE(lapsed);
    const size_t lapsedPages = static_cast<size_t>(std::atoi(lapsed.value().text.c_str()));
    EXPECT_LE(lapsedPages, 8U);
    EXPECT_LE(again, 4 * lapsedPages); // a page, its frame and their movies
    EXPECT_FALSE(requests.contains("/private/secret.html"));
    std::set<std::string> kept;
    for (const char* id : {"a", "b", "c", "d"}) {
        for (const nlohmann::json& movie : crawl_state::KeptMovies(
                 home.Path() / ("worker-" + std::string(id)) / "state" / "mirror")) {
            kept.insert(movie.value("movie", ""));
        }
    }
    EXPECT_EQ(kept.size(), AllowedMovies());

    std::vector<fs::path> states;
    for (const char* id : {"a", "b", "c", "d"}) {
        states.push_back(home.Path() / ("worker-" + std::string(id)) / "state");
    }
    std::ostringstream merged;
    std::ostringstream mergeErr;
    ASSERT_EQ(MergeCrawls(archive, states, false, merged, mergeErr), CrawlCommand::kAllDone)
        << mergeErr.str();
    std::map<std::string, int> indexed;
    std::ifstream index(archive / "index.cdxj");
    for (std::string line; std::getline(index, line);) {
        const nlohmann::json entry =
            nlohmann::json::parse(line.substr(line.find('{')), nullptr, false);
        ++indexed[entry.value("url", "").substr(server.Url("/").size() - 1)];
    }
    for (const std::string& path : Allowed()) {
        EXPECT_EQ(indexed[path], path.ends_with(".swf") ? 1 : indexed[path]) << path;
        EXPECT_GE(indexed[path], 1) << path << " is not in the merged index";
    }
    EXPECT_EQ(crawl_state::KeptMovies(archive / "mirror").size(), AllowedMovies());
}

// Redis restarting mid-crawl: the workers wait for it (their pages' results kept) and go on when
// it kept the crawl (saved to disk); when it did not, they stop saying so rather than call the
// crawl done.
TEST_F(SharedCrawlTest, ARedisRestartIsWaitedForAndALostFrontierIsNamed) {
    pageDelay = std::chrono::milliseconds(20);
    for (const bool saved : {true, false}) {
        SCOPED_TRACE(saved ? "saved to disk" : "not saved");
        const fs::path data = home.Path() / (saved ? "redis-saved" : "redis-unsaved");
        fs::create_directories(data);
        RedisServer server(saved ? data.string() : std::string());
        active = &server;
        const size_t before = LogSize();
        const std::vector<std::string> common = {"--delay", "0", "--depth", "8"};
        const std::string firstId = saved ? "a" : "c";
        const std::string secondId = saved ? "b" : "d";
        const pid_t first = Spawn(firstId, Seeding(common));
        const pid_t second = Spawn(secondId, Joining(common));
        const auto started = Clock::now();
        while (LogSize() < before + 30 && Clock::now() - started < std::chrono::seconds(60)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        server.Restart(std::chrono::milliseconds(1500));
        for (const auto& [id, child] : {std::pair{firstId, first}, {secondId, second}}) {
            const int status = Wait(child);
            if (saved) {
                EXPECT_EQ(status, CrawlCommand::kAllDone) << id << ": " << Err(id);
            } else {
                EXPECT_EQ(status, CrawlCommand::kNoState) << id << ": " << Err(id);
                EXPECT_NE(Err(id).find("frontier is gone"), std::string::npos) << Err(id);
            }
        }
        if (saved) {
            const std::map<std::string, int> requests = Requests(before);
            for (const std::string& path : Allowed()) {
                EXPECT_TRUE(requests.contains(path)) << path << " was never fetched";
            }
        }
    }
}

// Politeness holds across workers: a host gets a page only the delay after the last, whichever
// worker started it.
TEST_F(SharedCrawlTest, TheDelayHoldsAcrossWorkers) {
    const std::vector<std::string> common = {"--delay", "150", "--depth", "2", "--ignore-robots"};
    std::vector<std::string> seeding = common;
    seeding.push_back(Options().seeds[0]);
    std::vector<std::string> joining = common;
    joining.push_back("--worker");
    std::vector<pid_t> workers = {Spawn("a", seeding), Spawn("b", joining), Spawn("c", joining)};
    for (const pid_t worker : workers) {
        EXPECT_EQ(Wait(worker), CrawlCommand::kAllDone);
    }
    ExpectSevenPagesApart();
}

} // namespace

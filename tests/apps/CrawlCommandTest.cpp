#include "swfharvex/CrawlCommand.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
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
#include "TempDir.h"
#include "WarcReadBack.h"
#include "crawl/SqliteDatabase.h"
#include "warc/Sha1Digest.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A generated site: pages in a tree (page i links to 2i+1 and 2i+2), a movie on every tenth, a
// part robots.txt forbids, an endless calendar, a link away from the site, and a menu movie whose
// code goes to a page no link names.
class CrawlCommandTest : public ::testing::Test {
protected:
    static constexpr int kPages = 150;
    static constexpr size_t kBigMovieBytes = 6'000'000;

    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        const fs::path json = home.Path() / "menu.json";
        std::ofstream(json) << R"({"version": 8, "width": 20, "height": 20, "frameRate": 12,
            "frames": 1, "loads": [{"url": "/menu/section.html", "target": "_self"}]})";
        const std::string command = std::string(HVX_SWFMOVIE) + " '" + json.string() + "' -o '" +
                                    (home.Path() / "menu.swf").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        menuMovie = ReadWholeFile((home.Path() / "menu.swf").string());
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
            const char* type = path.ends_with(".swf")     ? "application/x-shockwave-flash"
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
    void TearDown() override {
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }

    std::string Body(const std::string& path) const {
        if (path == "/robots.txt") {
            return "User-agent: *\nDisallow: /private/\n";
        }
        if (path == "/m/menu.swf") {
            return menuMovie;
        }
        if (path == "/m/0.swf") {
            return bigMovie;
        }
        if (path == "/js/index.html") {
            return "<script>document.write(\"<a href='/js/scripted.html'>s</a>\");</script>";
        }
        if (path == "/js/scripted.html") {
            return "<p>only a script names this page</p>";
        }
        if (path == "/menu/section.html") {
            return "<p>reached through the menu movie only</p>";
        }
        if (path.starts_with("/m/")) {
            return "FWS movie " + path;
        }
        if (path.starts_with("/cal?d=")) {
            const int day = std::stoi(path.substr(7));
            return "<a href='/cal?d=" + std::to_string(day + 1) + "'>next day</a>";
        }
        if (path.starts_with("/private/")) {
            return "<embed src='/m/private.swf'>";
        }
        if (!path.starts_with("/p/") || !path.ends_with(".html")) {
            return {};
        }
        const int page = std::stoi(path.substr(3));
        if (page >= kPages) {
            return {};
        }
        std::string html = "<p>page " + std::to_string(page) + "</p>";
        for (const int child : {2 * page + 1, 2 * page + 2}) {
            if (child < kPages) {
                html += "<a href='/p/" + std::to_string(child) + ".html'>" + std::to_string(child) +
                        "</a>";
            }
        }
        if (page % 10 == 0) {
            html += "<embed src='/m/" + std::to_string(page) + ".swf'>";
        }
        if (page == 0) {
            html += "<embed src='/m/menu.swf'>"
                    "<a href='/private/secret.html'>s</a><a href='/cal?d=1'>calendar</a>"
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

    // Every page and movie an uninterrupted crawl fetches.
    std::set<std::string> Allowed() const {
        std::set<std::string> allowed = {"/robots.txt", "/m/menu.swf", "/menu/section.html"};
        for (int page = 0; page < kPages; ++page) {
            allowed.insert("/p/" + std::to_string(page) + ".html");
            if (page % 10 == 0) {
                allowed.insert("/m/" + std::to_string(page) + ".swf");
            }
        }
        return allowed;
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
        for (int page = 0; page < kPages; page += 10) {
            const std::string path = "/m/" + std::to_string(page) + ".swf";
            const fs::path kept = fs::path(state.empty() ? Options().stateFolder : state) / "mirror" /
                                  server.Url("/").substr(7, server.Url("/").size() - 8) /
                                  path.substr(1);
            EXPECT_EQ(ReadWholeFile(kept.string()), Body(path)) << path;
        }
    }

    TempDir home;
    const char* previousHome = nullptr;
    std::string menuMovie;
    std::string bigMovie;
    std::mutex logLock;
    std::vector<std::pair<std::string, Clock::time_point>> log;
    std::chrono::milliseconds pageDelay{0};
    LoopbackServer server;
    nlohmann::json out;
    std::string err;
};

// Every allowed page once, nothing robots.txt forbids, the calendar cut at the depth, nothing
// away from the site, every movie kept byte-exact.
TEST_F(CrawlCommandTest, EveryAllowedPageOnceAndEveryMovieKept) {
    CrawlCommand::Options options = Options();
    options.warc = (home.Path() / "archive" / "site.warc.gz").string();
    options.warcSize = "40K";
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
    EXPECT_EQ(out["pagesDone"], kPages + 12 + 1) << out.dump(2);
    EXPECT_EQ(out["pagesForbidden"], 1);
    EXPECT_EQ(out["movies"], kPages / 10 + 1);
    ExpectMoviesKept();

    // Archived as fetched, each exchange once, rotated into files of about 40 KiB, and indexed.
    std::map<std::string, std::string> contents;
    std::map<std::string, int> responses = Archived(&contents);
    ExpectArchived(responses, contents);
    std::erase_if(responses, [](const auto& entry) { return entry.first.starts_with("/cal?"); });
    EXPECT_EQ(responses, expected);
    EXPECT_GT(out["warc"].size(), 3U) << out.dump(2);
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
    EXPECT_EQ(out["pagesDone"], kPages + 8 + 1) << out.dump(2);
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
    // Each run is a process of its own: what a process remembers of its transfers would mix
    // the two cases.
    const auto run = [this](std::vector<const char*> args, rlim_t fileSizeLimit) {
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
        waitpid(child, &status, 0);
        out = nlohmann::json::parse(ReadWholeFile(outFile), nullptr, false);
        err = ReadWholeFile(errFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    };
    for (const bool archived : {true, false}) {
        SCOPED_TRACE(archived ? "with an archive" : "without an archive");
        const std::string state = (home.Path() / (archived ? "archived" : "plain")).string();
        const std::string warc = (home.Path() / "archive" / "site.warc.gz").string();
        const std::string seed = Options().seeds[0];
        std::vector<const char*> args = {HVX_SWFHARVEX, "crawl",   "--engine", "static",
                                         "--delay",     "0",       "--depth",  "8",
                                         "--read-depth", "0",      "--bundle", HVX_BUILT_BUNDLE,
                                         "--state",     state.c_str()};
        if (archived) {
            args.insert(args.end(), {"--warc", warc.c_str()});
        }
        args.push_back(seed.c_str());
        // Above what the frontier's journal grows to in this crawl, below the big movie.
        EXPECT_EQ(run(args, kBigMovieBytes - 1'000'000), CrawlCommand::kCannotWrite) << err;
        EXPECT_NE(err.find(archived ? "site.warc.gz" : "/m/0.swf"), std::string::npos) << err;
        EXPECT_FALSE(Done(state).contains("/p/0.html"));

        ASSERT_EQ(run({HVX_SWFHARVEX, "crawl", "--bundle", HVX_BUILT_BUNDLE, "--json",
                       "--resume", state.c_str()},
                      0),
                  CrawlCommand::kAllDone)
            << err;
        EXPECT_EQ(out["pagesDone"], kPages + 8 + 1) << out.dump(2);
        ExpectMoviesKept(state);
        if (archived) {
            std::map<std::string, std::string> contents;
            ExpectArchived(Archived(&contents), contents);
        }
    }
}

// With Chromium, the links a page's scripts write are followed too, and the pages are archived as
// the browser received them.
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
    // The pages as the browser received them.
    std::map<std::string, std::string> contents;
    EXPECT_EQ(Archived(&contents),
              (std::map<std::string, int>{
                  {"/robots.txt", 1}, {"/js/index.html", 1}, {"/js/scripted.html", 1}}));
    for (const char* page : {"/js/index.html", "/js/scripted.html"}) {
        EXPECT_EQ(contents[page], Sha1Digest::Of(Body(page))) << page;
    }
}

// A host gets its next page only the delay after the last.
TEST_F(CrawlCommandTest, AHostWaitsTheDelayBetweenPages) {
    CrawlCommand::Options options = Options();
    options.depth = 2; // seven pages
    options.delayMs = 150;
    options.ignoreRobots = true;
    ASSERT_EQ(Crawl(options), CrawlCommand::kAllDone) << err;
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

} // namespace

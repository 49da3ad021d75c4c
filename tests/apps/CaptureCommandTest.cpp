#include "swfharvex/CaptureCommand.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoopbackServer.h"
#include "ReadWholeFile.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Accepts connections on 127.0.0.1, reads the request and resets the connection.
class ResettingServer {
public:
    ResettingServer() {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 ||
            bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_socket, 16) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on a loopback port");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int connection = accept(m_socket, nullptr, nullptr);
                if (connection < 0) {
                    return;
                }
                char request[4096];
                (void)recv(connection, request, sizeof request, 0);
                const linger reset{1, 0};
                setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                close(connection);
            }
        });
    }
    ~ResettingServer() {
        shutdown(m_socket, SHUT_RDWR);
        m_thread.join();
        close(m_socket);
    }
    ResettingServer(const ResettingServer&) = delete;
    ResettingServer& operator=(const ResettingServer&) = delete;
    ResettingServer(ResettingServer&&) = delete;
    ResettingServer& operator=(ResettingServer&&) = delete;

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

std::string Movie(const std::string& name, size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(name[i % name.size()] ^ (i * 31) ^ (i >> 8));
    }
    return bytes;
}

// What the server sends for /m/<name>: big.swf is 3 MB, part<N>.swf grows with N, the rest are
// small.
size_t SizeOf(const std::string& name) {
    if (name == "big.swf") {
        return 3'000'000;
    }
    if (name.starts_with("part")) {
        return 100'000 + 60'000 * std::stoul(name.substr(4));
    }
    return 20'000;
}

// `swfharvex capture` in-process, with the bundle the build assembled, a home folder of its own
// and pages served on loopback. ctest gives every case a process of its own.
class CaptureCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome = std::getenv("HOME");
        setenv("HOME", home.Path().c_str(), 1);
        server.Http().Get("/index.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<embed src='/m/intro.swf'><embed src='/m/big.swf?v=3'>"
                                 "<object data='/m/player.php?file=game.swf'></object>"
                                 "<embed src='/m/skip.SWF'><embed src='/m/missing.swf'>",
                                 "text/html");
        });
        // Two pages that embed one movie 100 times each.
        for (const std::string page : {"/same-a.html", "/same-b.html"}) {
            server.Http().Get(page, [](const httplib::Request&, httplib::Response& response) {
                std::string html;
                for (int i = 0; i < 100; ++i) {
                    html += "<embed src='/m/same.swf'>";
                }
                response.set_content(html, "text/html");
            });
        }
        server.Http().Get(
            "/m/same.swf", [this](const httplib::Request&, httplib::Response& response) {
                ++sameRequests;
                response.set_content(Movie("same.swf", 2'000'000), "application/x-shockwave-flash");
            });
        // Sends a part of its movie, then nothing more until the test lets it go on.
        server.Http().Get(
            "/m/stall.swf", [this](const httplib::Request&, httplib::Response& response) {
                response.set_content_provider(
                    kStallSize, "application/x-shockwave-flash",
                    [this](size_t offset, size_t, httplib::DataSink& sink) {
                        const std::string bytes = Movie("stall.swf", kStallSize);
                        if (offset == 0) {
                            return sink.write(bytes.data(), kStallPart);
                        }
                        std::unique_lock lock(stallLock);
                        if (!stallReleased.wait_for(lock, 20s, [this] { return released; })) {
                            return false;
                        }
                        return sink.write(bytes.data() + offset, kStallSize - offset);
                    });
            });
        server.Http().Get(
            "/m/(.*)", [](const httplib::Request& request, httplib::Response& response) {
                std::string name = request.matches[1];
                if (name == "missing.swf") {
                    response.status = 404;
                    return;
                }
                response.set_content(Movie(name, SizeOf(name)), "application/x-shockwave-flash");
            });
        server.Start();
    }
    void TearDown() override {
        Release();
        if (previousHome != nullptr) {
            setenv("HOME", previousHome, 1);
        }
    }
    int Capture(std::vector<std::string> urls, bool json = true) {
        CaptureCommand::Options options;
        options.json = json;
        options.urls = std::move(urls);
        options.bundlePath = HVX_BUILT_BUNDLE;
        options.engine.engine = "static";
        std::ostringstream outText;
        std::ostringstream errText;
        int status = CaptureCommand(options).Run(outText, errText, false);
        out = outText.str();
        err = errText.str();
        return status;
    }

    // The movies that stall.swf's request held back may now come.
    void Release() {
        std::lock_guard lock(stallLock);
        released = true;
        stallReleased.notify_all();
    }

    // `swfharvex capture --engine static URL` in a process of its own, its output in files.
    pid_t Spawn(const std::string& url) {
        const pid_t child = fork();
        if (child == 0) {
            const int outFile = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFile = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(outFile, 1);
            dup2(errFile, 2);
            execl(HVX_SWFHARVEX, HVX_SWFHARVEX, "capture", "--engine", "static", url.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }
    // The child's wait status, or -1 when it did not end within `limit` (it is then killed).
    static int Reap(pid_t child, std::chrono::milliseconds limit) {
        int status = 0;
        if (!WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, limit)) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        return status;
    }
    std::set<std::string> FilesInCaptureFolder() const {
        std::set<std::string> files;
        std::error_code error;
        for (const auto& file : fs::directory_iterator(folder, error)) {
            files.insert(file.path().filename().string());
        }
        return files;
    }
    // intro.swf is in place and stall.swf's partial file is being written.
    bool MidTransfer() const {
        const std::set<std::string> files = FilesInCaptureFolder();
        return files.contains("intro.swf") &&
               std::any_of(files.begin(), files.end(),
                           [](const std::string& name) { return name.starts_with(".stall"); });
    }

    static constexpr size_t kStallSize = 4'000'000;
    static constexpr size_t kStallPart = 100'000;

    TempDir home;
    const char* previousHome = nullptr;
    fs::path folder = home.Path() / "Documents/SWFHarvexData";
    std::string outPath = home / "out.txt";
    std::string errPath = home / "err.txt";
    std::mutex stallLock;
    std::condition_variable stallReleased;
    bool released = false;
    std::atomic<int> sameRequests{0};
    LoopbackServer server;
    std::string out;
    std::string err;
};

TEST_F(CaptureCommandTest, CatchesWhatTheRuleSaysByteExactAndNothingElse) {
    // missing.swf answers 404: everything else is caught.
    ASSERT_EQ(Capture({server.Url("/index.html")}), CaptureCommand::kSomeNotCaught) << err;
    nlohmann::json list = nlohmann::json::parse(out)["captured"];
    std::map<std::string, std::string> caught;
    for (const auto& entry : list) {
        caught[entry["SWFName"]] = entry["SWFAddress"];
    }
    EXPECT_EQ(caught,
              (std::map<std::string, std::string>{
                  {"big.swf", server.Url("/m/big.swf?v=3")},
                  {"intro.swf", server.Url("/m/intro.swf")},
                  {"player.php?file=game.swf", server.Url("/m/player.php?file=game.swf")}}));
    fs::path folder = home.Path() / "Documents/SWFHarvexData";
    std::set<std::string> files;
    for (const auto& file : fs::directory_iterator(folder)) {
        files.insert(file.path().filename().string());
    }
    // Beside the list's files, only the mirror of what they load.
    EXPECT_EQ(files, (std::set<std::string>{".mirror", "big.swf", "intro.swf",
                                            "player.php?file=game.swf"}));
    EXPECT_EQ(ReadWholeFile((folder / "big.swf").string()), Movie("big.swf", 3'000'000));
    EXPECT_EQ(ReadWholeFile((folder / "intro.swf").string()), Movie("intro.swf", 20'000));
}

TEST_F(CaptureCommandTest, AMovieEmbeddedTwoHundredTimesIsFetchedOnce) {
    ASSERT_EQ(Capture({server.Url("/same-a.html"), server.Url("/same-b.html")}),
              CaptureCommand::kAllLoaded)
        << err;
    EXPECT_EQ(nlohmann::json::parse(out)["captured"].size(), 1U) << out;
    EXPECT_EQ(ReadWholeFile((folder / "same.swf").string()), Movie("same.swf", 2'000'000));
    EXPECT_EQ(sameRequests, 1);
}

TEST_F(CaptureCommandTest, APageThatCannotBeLoadedIsNamedAndFailsTheRun) {
    EXPECT_EQ(Capture({server.Url("/nothing.html"), server.Url("/index.html")}, false), 1);
    EXPECT_NE(err.find(server.Url("/nothing.html")), std::string::npos) << err;
    EXPECT_NE(out.find("intro.swf\t" + server.Url("/m/intro.swf")), std::string::npos) << out;
}

TEST_F(CaptureCommandTest, AMissingBundleIsReported) {
    CaptureCommand::Options options;
    options.urls = {server.Url("/index.html")};
    options.bundlePath = (home.Path() / "nowhere.bundle").string();
    std::ostringstream outText;
    std::ostringstream errText;
    EXPECT_EQ(CaptureCommand(options).Run(outText, errText, false), 1);
    EXPECT_NE(errText.str().find("nowhere.bundle"), std::string::npos);
}

// Every movie found and not caught is named with its reason, on standard error and in the
// JSON, and the run fails with its own status.
TEST_F(CaptureCommandTest, MoviesThatWereNotCaughtAreReportedAndFailTheRun) {
    ResettingServer resetting;
    const std::string missing = server.Url("/m/missing.swf");
    const std::string reset = resetting.Url("/m/reset.swf");
    const std::string refused = "file:///etc/hosts.swf";
    server.Http().Get("/lossy.html", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("<embed src='/m/intro.swf'><embed src='" + missing + "'><embed src='" +
                                 reset + "'><embed src='" + refused + "'>",
                             "text/html");
    });
    const std::map<std::string, std::string> expected = {
        {missing, "404"},
        {reset, "reset"},
        {refused, "only http and https movies are fetched"},
    };

    EXPECT_EQ(Capture({server.Url("/lossy.html")}), CaptureCommand::kSomeNotCaught) << err;
    const nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << out;
    EXPECT_EQ(report["captured"], (nlohmann::json{{{"SWFName", "intro.swf"},
                                                   {"SWFAddress", server.Url("/m/intro.swf")}}}));
    std::map<std::string, std::string> lost;
    for (const nlohmann::json& entry : report["notCaught"]) {
        lost[entry["url"]] = entry["reason"];
    }
    ASSERT_EQ(lost.size(), expected.size()) << out;
    for (const auto& [url, reason] : expected) {
        EXPECT_NE(lost[url].find(reason), std::string::npos) << url << ": " << lost[url];
        EXPECT_NE(err.find("swfharvex: " + url + ": not caught: " + lost[url] + "\n"),
                  std::string::npos)
            << err;
    }
    // The refused address's sheet, which no window shows here.
    EXPECT_NE(err.find("swfharvex: Invalid or unsupported URL: The entered URL is either invalid "
                       "or unsupported.\n"),
              std::string::npos)
        << err;
}

// A run that starts while another holds the folder refuses at once, naming the holder, and the
// folder keeps what the other run caught.
TEST_F(CaptureCommandTest, ASecondRunRefusesAndTheFirstKeepsItsMovies) {
    server.Http().Get("/both.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<embed src='/m/intro.swf'><embed src='/m/stall.swf'>", "text/html");
    });
    const pid_t first = Spawn(server.Url("/both.html"));
    ASSERT_TRUE(WaitFor([this] { return MidTransfer(); }, 10s)) << ReadWholeFile(errPath);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Capture({server.Url("/index.html")}), CaptureCommand::kFolderInUse);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_NE(err.find("in use by swfharvex capture (pid " + std::to_string(first) + ")"),
              std::string::npos)
        << err;
    EXPECT_EQ(out, "");
    EXPECT_TRUE(FilesInCaptureFolder().contains("intro.swf"));

    Release();
    const int status = Reap(first, 20s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadWholeFile((folder / "intro.swf").string()), Movie("intro.swf", 20'000));
    EXPECT_EQ(ReadWholeFile((folder / "stall.swf").string()), Movie("stall.swf", kStallSize));
}

// A name that appears in the capture folder holds its whole movie at once, while the other
// transfers are still being written: each is read back, byte-exact, the moment it appears.
TEST_F(CaptureCommandTest, EveryNameInTheFolderHoldsAWholeMovieWhileOthersAreStillComing) {
    constexpr int kParts = 24;
    server.Http().Get("/many.html", [](const httplib::Request&, httplib::Response& response) {
        std::string page = "<embed src='/m/stall.swf'>";
        for (int i = 0; i < kParts; ++i) {
            page += "<embed src='/m/part" + std::to_string(i) + ".swf'>";
        }
        response.set_content(page, "text/html");
    });
    const pid_t command = Spawn(server.Url("/many.html"));
    std::set<std::string> whole;
    const bool allSeen = WaitFor(
        [&] {
            for (const std::string& name : FilesInCaptureFolder()) {
                if (name.starts_with(".") || name == "stall.swf" || whole.contains(name)) {
                    continue;
                }
                const std::string bytes = ReadWholeFile((folder / name).string());
                EXPECT_TRUE(bytes == Movie(name, SizeOf(name)))
                    << name << ": " << bytes.size() << " of " << SizeOf(name) << " bytes";
                whole.insert(name);
            }
            return whole.size() == kParts;
        },
        20s);
    EXPECT_TRUE(allSeen) << whole.size() << " of " << kParts << " movies appeared";
    EXPECT_FALSE(FilesInCaptureFolder().contains("stall.swf")) << "held back, so not yet listed";
    Release();
    EXPECT_EQ(Reap(command, 20s), 0) << ReadWholeFile(errPath);
    EXPECT_EQ(ReadWholeFile((folder / "stall.swf").string()), Movie("stall.swf", kStallSize));
}

// Interrupted mid-transfer: the partial file goes, what was caught is listed, and the process
// ends as the signal ends it (a shell sees 128 + the signal).
TEST_F(CaptureCommandTest, AnInterruptedRunLeavesNoPartialFileAndListsWhatItCaught) {
    server.Http().Get("/both.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<embed src='/m/intro.swf'><embed src='/m/stall.swf'>", "text/html");
    });
    for (const auto& [signal, name] :
         {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
        const pid_t command = Spawn(server.Url("/both.html"));
        ASSERT_TRUE(WaitFor([this] { return MidTransfer(); }, 10s)) << ReadWholeFile(errPath);
        kill(command, signal);
        const int status = Reap(command, 3s);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << name << " " << status;
        // The mirror of what was caught stays beside it.
        EXPECT_EQ(FilesInCaptureFolder(), (std::set<std::string>{".mirror", "intro.swf"})) << name;
        EXPECT_EQ(ReadWholeFile(outPath), "intro.swf\t" + server.Url("/m/intro.swf") + "\n")
            << name;
        EXPECT_NE(ReadWholeFile(errPath).find(std::string("interrupted by ") + name),
                  std::string::npos)
            << ReadWholeFile(errPath);
    }
}

} // namespace

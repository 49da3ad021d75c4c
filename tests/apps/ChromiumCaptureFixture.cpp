#include "ChromiumCaptureFixture.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ReadWholeFile.h"
#include "browser/chromium/BrowserProfile.h"
#include "browser/chromium/ChromiumProcess.h"
#include "swfharvex/CaptureCommand.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(20);
// The longest /hang holds its answer, should a test never end it.
constexpr auto kLongestHang = std::chrono::seconds(120);

// A small /proc file whole, with plain calls: a process that ends while we read is just not there.
std::string ReadProc(const fs::path& path) {
    std::string text(8192, '\0');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd < 0 ? -1 : read(fd, text.data(), text.size());
    if (fd >= 0) {
        close(fd);
    }
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

struct ProcessEntry {
    pid_t pid;
    char state;
    pid_t group;
    std::string commandLine;
};

std::vector<ProcessEntry> Processes() {
    std::vector<ProcessEntry> entries;
    std::error_code error; // processes come and go while we look
    for (auto entry = fs::directory_iterator("/proc", error);
         !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = ReadProc(entry->path() / "stat");
        const size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(nameEnd + 2));
        char state = '?';
        long parent = 0;
        long group = 0;
        fields >> state >> parent >> group;
        std::string commandLine = ReadProc(entry->path() / "cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        entries.push_back(
            {std::stoi(name), state, static_cast<pid_t>(group), std::move(commandLine)});
    }
    return entries;
}

} // namespace

std::string Movie(const std::string& name) {
    std::string bytes(5'000 + name.size() * 97, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(name[i % name.size()] ^ (i * 13));
    }
    return bytes;
}

PageEngineChoice Chromium(double settleSeconds, double pageTimeoutSeconds) {
    PageEngineChoice choice;
    choice.engine = "chromium";
    choice.settleSeconds = settleSeconds;
    choice.pageTimeoutSeconds = pageTimeoutSeconds;
    return choice;
}

PageEngineChoice StaticEngine() {
    PageEngineChoice choice;
    choice.engine = "static";
    return choice;
}

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string joined;
    for (const std::string_view part : parts) {
        joined += part;
    }
    return joined;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

BrowserWatch::BrowserWatch(std::string text) : m_text(std::move(text)) {
    m_thread = std::thread([this] {
        while (!m_stop) {
            Look();
            std::this_thread::sleep_for(kWatchInterval);
        }
    });
}

BrowserWatch::~BrowserWatch() {
    m_stop = true;
    m_thread.join();
}

void BrowserWatch::Look() const {
    for (const ProcessEntry& process : Processes()) {
        if (process.pid != getpid() && process.commandLine.find(m_text) != std::string::npos) {
            const std::lock_guard lock(m_mutex);
            m_seen.insert(process.pid);
            m_groups.insert(process.group);
        }
    }
}

size_t BrowserWatch::Seen() const {
    Look();
    const std::lock_guard lock(m_mutex);
    return m_seen.size();
}

std::vector<std::string> BrowserWatch::Left() const {
    std::set<pid_t> groups;
    {
        const std::lock_guard lock(m_mutex);
        groups = m_groups;
    }
    std::vector<std::string> left;
    for (const ProcessEntry& process : Processes()) {
        if (process.pid != getpid() && (groups.contains(process.group) ||
                                        process.commandLine.find(m_text) != std::string::npos)) {
            left.push_back(std::to_string(process.pid) + " " + process.state + " " +
                           process.commandLine.substr(0, 120));
        }
    }
    return left;
}

CommandChild::CommandChild(const std::vector<std::string>& args) {
    std::vector<std::string> all = {HVX_SWFHARVEX};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_GT(m_pid, 0) << "could not start " << HVX_SWFHARVEX;
}

CommandChild::~CommandChild() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        Wait();
    }
}

void CommandChild::Signal(int number) const {
    if (m_pid > 0) {
        kill(m_pid, number);
    }
}

int CommandChild::Wait() {
    int status = -1;
    if (m_pid > 0) {
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return status;
}

void ChromiumCaptureTest::SetUp() {
    if (ChromiumProcess::Find().empty()) {
        GTEST_SKIP() << "Chromium is not installed (Debian package \"chromium\")";
    }
    fs::create_directories(Tmp());
    Set("HOME", home.Path().string());
    Set("XDG_CONFIG_HOME", (home.Path() / ".config").string());
    Set("TMPDIR", Tmp().string());
    server.Http().Get("/p/(.*)",
                      [this](const httplib::Request& request, httplib::Response& response) {
                          const auto page = pages.find(request.matches[1]);
                          if (page == pages.end()) {
                              response.status = 404;
                              return;
                          }
                          response.set_content(page->second.first, page->second.second);
                      });
    server.Http().Get("/m/(.*)", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(Movie(request.matches[1]), "application/x-shockwave-flash");
    });
    // Holds its answer until the test ends: a page that asks for it keeps loading.
    server.Http().Get("/hang", [this](const httplib::Request&, httplib::Response& response) {
        ++hangs;
        WaitFor([this] { return stopping.load(); }, kLongestHang);
        response.set_content("", "text/plain");
    });
    const auto countUnneeded = [this](const httplib::Request&, httplib::Response& response) {
        ++unneeded;
        response.status = 404;
    };
    server.Http().Get("/unneeded/.*", countUnneeded);
    server.Http().Post("/unneeded/.*", countUnneeded);
    server.Http().Get("/js/swfobject.js", [](const httplib::Request&, httplib::Response& response) {
        std::ifstream script(HVX_NODE_MODULES "/swfobject/index.js");
        std::string text((std::istreambuf_iterator<char>(script)), {});
        response.status = text.empty() ? 404 : 200;
        response.set_content(text, "text/javascript");
    });
    server.Start();
}

void ChromiumCaptureTest::TearDown() {
    stopping = true;
    for (const auto& [name, value] : saved) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

void ChromiumCaptureTest::Set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
}

void ChromiumCaptureTest::Page(const std::string& name, std::string html, std::string contentType) {
    pages[name] = {std::move(html), std::move(contentType)};
}

std::string ChromiumCaptureTest::OtherSite(const std::string& path) const {
    std::string url = server.Url(path);
    return url.replace(url.find("127.0.0.1"), 9, "localhost");
}

std::vector<fs::path> ChromiumCaptureTest::Profiles() const {
    std::vector<fs::path> profiles;
    for (const auto& entry : fs::directory_iterator(Tmp())) {
        if (entry.path().filename().string().rfind(BrowserProfile::kPrefix, 0) == 0) {
            profiles.push_back(entry.path());
        }
    }
    return profiles;
}

int ChromiumCaptureTest::Capture(std::vector<std::string> urls, PageEngineChoice engine) {
    CaptureCommand::Options options;
    options.json = true;
    options.urls = std::move(urls);
    options.bundlePath = HVX_BUILT_BUNDLE;
    options.engine = std::move(engine);
    // These cases time how pages end; a movie's dependencies are the mirror's tests' business.
    options.dependencies.playSeconds = 0;
    std::ostringstream outText;
    std::ostringstream errText;
    const int status = CaptureCommand(options).Run(outText, errText, false);
    out = outText.str();
    err = errText.str();
    return status;
}

std::map<std::string, std::string> ChromiumCaptureTest::Caught() {
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

std::map<std::string, std::string> ChromiumCaptureTest::NotCaught() const {
    std::map<std::string, std::string> lost;
    const nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
    for (const nlohmann::json& entry : report.value("notCaught", nlohmann::json::array())) {
        lost[entry.value("url", "")] = entry.value("reason", "");
    }
    return lost;
}

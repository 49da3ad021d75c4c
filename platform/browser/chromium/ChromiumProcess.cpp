#include "browser/chromium/ChromiumProcess.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "browser/chromium/ProcessTable.h"
#include "foundation/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

// The flags that keep the browser from talking to anyone but the hosts the pages name: no
// updates, no sync, no reports, no translation or hint services, no first-run pages.
const std::array kQuietFlags = {
    "--remote-debugging-pipe",
    "--no-sandbox",
    "--no-first-run",
    "--no-default-browser-check",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-quic",
    "--disable-breakpad",
    "--disable-domain-reliability",
    "--metrics-recording-only",
    "--mute-audio",
    "--password-store=basic",
    // HttpsUpgrades: an http address stays what it says (a page asked for, a movie's player page).
    "--disable-features=Translate,OptimizationHints,MediaRouter,DialMediaRouteProvider,"
    "HttpsUpgrades",
    // No plug-in would ever answer, and looking for one costs the renderer about 20 ms per
    // <embed> or <object> (a page of 300 did not load in 15 s); the observer sees the elements
    // all the same.
    "--blink-settings=pluginsEnabled=false",
    // Pages load side by side and none is in front: their timers must run as in a tab that is,
    // or a movie a script inserts late comes after the page was judged quiet.
    "--disable-background-timer-throttling",
    "--disable-renderer-backgrounding",
    "--disable-backgrounding-occluded-windows",
};

// The group to kill when this process is interrupted; 0 when none runs.
std::atomic<pid_t> g_group{0};
struct sigaction g_previous[3];
constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// How long a stop waits for the group's last processes to end after SIGKILL: only a process stuck
// in the kernel takes long, and the command must end all the same.
constexpr auto kGroupEndLimit = std::chrono::seconds(10);
constexpr auto kGroupPoll = std::chrono::milliseconds(2);

// Whether any process of the group is left, zombies included.
bool GroupLeft(pid_t group) {
    return kill(-group, 0) == 0 || errno != ESRCH;
}

// Kills the group and reaps what of it is ours (with the subreaper flag, all of it) until none is
// left or `limit` has passed. Async-signal-safe.
void EndGroup(pid_t group, std::chrono::milliseconds limit) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const timespec pause{0, std::chrono::nanoseconds(kGroupPoll).count()};
    for (;;) {
        // Again each round: a process may have forked between two rounds.
        kill(-group, SIGKILL);
        while (waitpid(-group, nullptr, WNOHANG) > 0) {
        }
        if (!GroupLeft(group)) {
            return;
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const auto spent = std::chrono::seconds(now.tv_sec - start.tv_sec) +
                           std::chrono::nanoseconds(now.tv_nsec - start.tv_nsec);
        if (spent >= limit) {
            return;
        }
        nanosleep(&pause, nullptr);
    }
}

// Our children outside the browser's group that run from its profile: helpers the browser
// started in a session of their own, adopted by us when their starter left.
std::vector<pid_t> EscapedHelpers(pid_t group, const std::string& profile) {
    std::vector<pid_t> escaped;
    for (const pid_t child : process_table::ChildrenOf(getpid())) {
        if (child != group &&
            process_table::CommandLine(child).find(profile) != std::string::npos) {
            escaped.push_back(child);
        }
    }
    return escaped;
}

// Kills and reaps children of ours; a child cannot be another process until we have reaped it.
void EndChildren(const std::vector<pid_t>& children, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (const pid_t child : children) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, WNOHANG) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kGroupPoll);
        }
    }
}

void KillGroupAndDie(int signal) {
    const pid_t group = g_group.load();
    if (group > 0) {
        EndGroup(group, kGroupEndLimit);
    }
    // Then end as the signal would have ended us.
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// While a browser runs, this process adopts the browser's orphans (a helper whose parent ended
// first), so that it can reap them: a zombie re-parented to an init that never reaps would keep
// the group alive for good. What the flag was before comes back with the last browser.
int g_adopting = 0;
int g_wasSubreaper = 0;

void StartAdopting() {
    if (g_adopting++ == 0) {
        prctl(PR_GET_CHILD_SUBREAPER, &g_wasSubreaper);
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
}

void StopAdopting() {
    if (g_adopting > 0 && --g_adopting == 0) {
        prctl(PR_SET_CHILD_SUBREAPER, g_wasSubreaper);
    }
}

// Only where nobody else handles the signal: a command with its own handlers (the desktop) stops
// in order, and the browser goes with the objects.
void InstallStopHandlers() {
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction current {};
        sigaction(kStopSignals[i], nullptr, &current);
        if (current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = KillGroupAndDie;
        sigemptyset(&action.sa_mask);
        sigaction(kStopSignals[i], &action, &g_previous[i]);
    }
}

void RemoveStopHandlers() {
    for (size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction current {};
        sigaction(kStopSignals[i], nullptr, &current);
        if (current.sa_handler == KillGroupAndDie) {
            sigaction(kStopSignals[i], &g_previous[i], nullptr);
        }
    }
}

// Where the browser puts the socket that makes it the one instance of its profile.
constexpr const char* kSingletonSocket = "/org.chromium.Chromium.XXXXXX/SingletonSocket";

bool IsExecutable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// Our environment, with the browser's home, its configuration, caches, crash reports and
// temporary files moved into its profile: nothing it writes lands outside (Debian's Chromium
// writes "Crash Reports" under the home's configuration whatever --crash-dumps-dir says, NSS a
// ".pki" under the home, dconf and fontconfig under the caches).
std::vector<std::string> ChildEnvironment(const fs::path& profile) {
    const fs::path home = profile / "home";
    std::map<std::string, std::string> moved = {
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (home / ".config").string()},
        {"XDG_CACHE_HOME", (home / ".cache").string()},
        {"XDG_DATA_HOME", (home / ".local/share").string()},
        {"XDG_STATE_HOME", (home / ".local/state").string()},
    };
    // The browser's own socket goes in its temporary folder, at a path that must fit a socket
    // address: where the profile's would not, the browser keeps ours.
    const fs::path temp = profile / "tmp";
    if (temp.string().size() + std::strlen(kSingletonSocket) < sizeof(sockaddr_un::sun_path)) {
        moved["TMPDIR"] = temp.string();
    }
    std::error_code ignored; // a folder that cannot be made is the browser's to report
    fs::create_directories(home, ignored);
    fs::create_directories(temp, ignored);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!moved.contains(std::string(text.substr(0, text.find('='))))) {
            environment.emplace_back(text);
        }
    }
    for (const auto& [name, value] : moved) {
        std::string entry = name;
        entry += '=';
        entry += value;
        environment.push_back(std::move(entry));
    }
    return environment;
}

std::vector<std::string> Arguments(const std::string& executable,
                                   const ChromiumProcess::Options& options,
                                   const fs::path& folder) {
    std::vector<std::string> args = {executable};
    args.emplace_back(options.headless ? "--headless=new" : "--new-window");
    if (options.headless) {
        args.emplace_back("--disable-gpu");
    }
    args.insert(args.end(), kQuietFlags.begin(), kQuietFlags.end());
    args.push_back("--user-data-dir=" + folder.string());
    // Read by some builds; Debian's follows the configuration folder (see ChildEnvironment).
    args.push_back("--crash-dumps-dir=" + (folder / "crashes").string());
    if (options.scriptHeapMiB > 0) {
        args.push_back("--js-flags=--max-old-space-size=" + std::to_string(options.scriptHeapMiB));
    }
    if (options.playsSound) {
        args.emplace_back("--autoplay-policy=no-user-gesture-required");
    }
    args.emplace_back("about:blank");
    return args;
}

} // namespace

std::string ChromiumProcess::Find() {
    if (const char* chosen = std::getenv("SWFHARVEX_CHROMIUM"); chosen != nullptr) {
        return IsExecutable(chosen) ? chosen : std::string();
    }
    for (const char* name : {"chromium", "chromium-browser"}) {
        if (std::optional<std::string> found = ChildProcess::FindProgram(name)) {
            return *found;
        }
    }
    return {};
}

Outcome<std::unique_ptr<ChromiumProcess>> ChromiumProcess::Start(const Options& options) {
    const std::string executable = options.executable.empty() ? Find() : options.executable;
    if (executable.empty() || !IsExecutable(executable)) {
        return Failure{"Chromium is not installed",
                       std::string("install the Debian package \"") + kPackage + "\"" +
                           (executable.empty() ? "" : " (" + executable + " cannot be run)")};
    }
    // A browser that dies must show as a failed write, not end this process.
    if (struct sigaction pipe{};
        sigaction(SIGPIPE, nullptr, &pipe) == 0 && pipe.sa_handler == SIG_DFL) {
        ::signal(SIGPIPE, SIG_IGN);
    }
    std::unique_ptr<ChromiumProcess> process(new ChromiumProcess());
    std::error_code noTemp;
    const fs::path temp = fs::temp_directory_path(noTemp);
    Outcome<BrowserProfile> profile = BrowserProfile::Make(noTemp ? fs::path("/tmp") : temp);
    if (!profile) {
        return profile.failure();
    }
    process->m_profile.emplace(std::move(profile.value()));
    const fs::path& folder = process->m_profile->path();

    int commands[2] = {-1, -1};
    int replies[2] = {-1, -1};
    if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int end : {commands[0], commands[1], replies[0], replies[1]}) {
            if (end >= 0) {
                close(end);
            }
        }
        return Failure{"Could not start Chromium", std::strerror(error)};
    }
    ChildProcess::Options spawn;
    spawn.argv = Arguments(executable, options, folder);
    spawn.environment = ChildEnvironment(folder);
    const std::string log = (folder / "chromium.log").string();
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    // The DevTools pipe is the browser's 3 (commands in) and 4 (replies out).
    spawn.fds = {{0, ChildProcess::kNull},
                 {1, ChildProcess::kNull},
                 {2, logFd >= 0 ? logFd : ChildProcess::kNull},
                 {3, commands[0]},
                 {4, replies[1]}};
    // Killed with us, even by SIGKILL.
    spawn.endsWithUs = true;

    StartAdopting();
    Outcome<ChildProcess> child = ChildProcess::Spawn(spawn);
    for (const int end : {logFd, commands[0], replies[1]}) {
        if (end >= 0) {
            close(end);
        }
    }
    if (!child) {
        StopAdopting();
        close(commands[1]);
        close(replies[0]);
        return Failure{"Could not start Chromium", child.failure().message()};
    }
    const pid_t pid = child.value().pid();
    process->m_child.emplace(std::move(child.value()));
    process->m_pid = pid;
    process->m_commandFd = commands[1];
    process->m_replyFd = replies[0];
    g_group.store(pid);
    InstallStopHandlers();
    return process;
}

void ChromiumProcess::Stop(std::chrono::milliseconds grace) {
    if (m_pid <= 0) {
        return;
    }
    // The browser's crash reporter leaves the group for a session of its own (and we adopted
    // it): it is found by its profile while it still runs, before the browser goes.
    const std::vector<pid_t> escaped = EscapedHelpers(m_pid, profile().string());
    // The browser is watched without being reaped, so that its number keeps naming the group
    // until the group is gone.
    if (m_child) {
        static_cast<void>(m_child->AwaitEnd(ChildProcess::Clock::now() + grace));
    }
    // The renderers and helpers share the group; none may stay behind, not even as a zombie.
    EndGroup(m_pid, kGroupEndLimit);
    if (m_child) {
        m_child->Release(); // reaped with its group
    }
    EndChildren(escaped, kGroupEndLimit);
    if (g_group.load() == m_pid) {
        g_group.store(0);
        RemoveStopHandlers();
    }
    StopAdopting();
    m_pid = -1;
}

ChromiumProcess::~ChromiumProcess() {
    if (m_commandFd >= 0) {
        close(m_commandFd);
    }
    Stop(std::chrono::milliseconds(0));
    if (m_replyFd >= 0) {
        close(m_replyFd);
    }
    // The profile goes with its lock (BrowserProfile).
}

std::string ChromiumProcess::LogTail() const {
    std::ifstream log(profile() / "chromium.log");
    std::string line;
    std::string tail;
    while (std::getline(log, line)) {
        if (!line.empty()) {
            tail = line;
        }
    }
    return tail;
}

std::vector<pid_t> ChromiumProcess::Renderers() const {
    std::vector<pid_t> renderers;
    if (m_pid <= 0) {
        return renderers;
    }
    for (const process_table::Member& member : process_table::GroupMembers(m_pid)) {
        if (!member.zombie &&
            process_table::CommandLine(member.pid).find("--type=renderer") != std::string::npos) {
            renderers.push_back(member.pid);
        }
    }
    return renderers;
}

bool ChromiumProcess::EndRenderer(pid_t renderer) const {
    return m_pid > 0 && renderer != m_pid && process_table::KillIfInGroup(renderer, m_pid);
}

#include "browser/chromium/ChromiumProcess.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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
    "--disable-features=Translate,OptimizationHints,MediaRouter,DialMediaRouteProvider",
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

void KillGroupAndDie(int signal) {
    const pid_t group = g_group.load();
    if (group > 0) {
        kill(-group, SIGKILL);
    }
    // Then end as the signal would have ended us.
    ::signal(signal, SIG_DFL);
    raise(signal);
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

bool IsExecutable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// A pipe whose ends sit above the standard descriptors and 3 and 4, so that the child's dup2 onto
// 3 and 4 never meets one of them.
bool HighPipe(std::array<int, 2>& ends) {
    int raw[2];
    if (pipe2(raw, O_CLOEXEC) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        ends[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 10);
        close(raw[i]);
    }
    return ends[0] >= 0 && ends[1] >= 0;
}

} // namespace

std::string ChromiumProcess::Find() {
    if (const char* chosen = std::getenv("SWFHARVEX_CHROMIUM"); chosen != nullptr) {
        return IsExecutable(chosen) ? chosen : std::string();
    }
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        for (const char* name : {"chromium", "chromium-browser"}) {
            if (fs::path candidate = fs::path(folder) / name; IsExecutable(candidate)) {
                return candidate.string();
            }
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
    fs::path temp = fs::temp_directory_path(noTemp);
    std::string profileTemplate =
        ((noTemp ? fs::path("/tmp") : temp) / "swfharvex-chromium-XXXXXX");
    if (mkdtemp(profileTemplate.data()) == nullptr) {
        return Failure{"Could not make a browser profile in " + profileTemplate,
                       std::strerror(errno)};
    }
    process->m_profile = profileTemplate;

    std::array<int, 2> commands{-1, -1};
    std::array<int, 2> replies{-1, -1};
    if (!HighPipe(commands) || !HighPipe(replies)) {
        return Failure{"Could not start Chromium", std::strerror(errno)};
    }
    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    std::vector<std::string> args = {executable};
    args.emplace_back(options.headless ? "--headless=new" : "--new-window");
    if (options.headless) {
        args.emplace_back("--disable-gpu");
    }
    args.insert(args.end(), kQuietFlags.begin(), kQuietFlags.end());
    args.push_back("--user-data-dir=" + process->m_profile.string());
    if (options.playsSound) {
        args.emplace_back("--autoplay-policy=no-user-gesture-required");
    }
    args.emplace_back("about:blank");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string log = (process->m_profile / "chromium.log").string();
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid < 0) {
        return Failure{"Could not start Chromium", std::strerror(errno)};
    }
    if (pid == 0) {
        setpgid(0, 0);
        // Killed with us, even by SIGKILL; checked again in case we died before prctl.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nullFd = open("/dev/null", O_RDWR);
        if (logFd < 0 || nullFd < 0 || dup2(nullFd, 0) < 0 || dup2(nullFd, 1) < 0 ||
            dup2(logFd, 2) < 0 || dup2(commands[0], 3) < 0 || dup2(replies[1], 4) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Both sides set the group, so it exists whichever runs first.
    setpgid(pid, pid);
    close(commands[0]);
    close(replies[1]);
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
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    pid_t ended = waitpid(m_pid, &status, WNOHANG);
    while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ended = waitpid(m_pid, &status, WNOHANG);
    }
    // The renderers and helpers share the group; none may stay behind.
    kill(-m_pid, SIGKILL);
    if (ended == 0) {
        waitpid(m_pid, &status, 0);
    }
    if (g_group.load() == m_pid) {
        g_group.store(0);
        RemoveStopHandlers();
    }
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
    std::error_code ignored;
    if (!m_profile.empty()) {
        fs::remove_all(m_profile, ignored);
    }
}

std::string ChromiumProcess::LogTail() const {
    std::ifstream log(m_profile / "chromium.log");
    std::string line;
    std::string tail;
    while (std::getline(log, line)) {
        if (!line.empty()) {
            tail = line;
        }
    }
    return tail;
}

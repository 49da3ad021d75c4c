#include "foundation/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr auto kPollPause = std::chrono::milliseconds(5);

bool IsExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> Absolute(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        return std::nullopt;
    }
    return absolute.lexically_normal().string();
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Everything the child needs, made before fork: after it, only async-signal-safe calls.
struct Prepared {
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    std::vector<char*> argvPointers;
    std::vector<char*> environmentPointers;
    std::vector<std::pair<int, int>> fds; // child's, ours (moved above every child's)
    std::vector<std::pair<int, rlimit>> limits;
    int highest = STDERR_FILENO; // the child's highest descriptor
    bool ownGroup = true;
    bool endsWithUs = false;
    pid_t parent = 0;
};

[[noreturn]] void ReportAndExit(int errorPipe) {
    const int error = errno;
    const ssize_t ignored = write(errorPipe, &error, sizeof error);
    static_cast<void>(ignored);
    _exit(127);
}

void DefaultSignals() {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            sigaction(signal, &defaults, nullptr); // fails harmlessly for the reserved ones
        }
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Async-signal-safe from here to the exec.
[[noreturn]] void BecomeProgram(const Prepared& prepared, int errorPipe) {
    if (prepared.ownGroup) {
        setpgid(0, 0);
    }
    if (prepared.endsWithUs) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != prepared.parent) {
            _exit(127); // we died before prctl
        }
    }
    // The error pipe moves above every descriptor the child gets, so that no dup2 meets it.
    const int report = fcntl(errorPipe, F_DUPFD_CLOEXEC, prepared.highest + 1);
    if (report < 0) {
        ReportAndExit(errorPipe);
    }
    for (const auto& [target, source] : prepared.fds) {
        if (dup2(source, target) < 0) {
            ReportAndExit(report);
        }
    }
    // Nothing of ours below the highest either, where the map has a gap.
    for (int fd = 0; fd <= prepared.highest; ++fd) {
        if (std::none_of(prepared.fds.begin(), prepared.fds.end(),
                         [fd](const auto& entry) { return entry.first == fd; })) {
            close(fd);
        }
    }
    for (const auto& [resource, limit] : prepared.limits) {
        if (setrlimit(resource, &limit) != 0) {
            ReportAndExit(report);
        }
    }
    DefaultSignals();
    // Everything else of ours stays behind; the report pipe closes with the exec.
    close_range(static_cast<unsigned>(prepared.highest) + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(prepared.argvPointers[0], prepared.argvPointers.data(),
           prepared.environmentPointers.data());
    ReportAndExit(report);
}

// Our descriptors that the child gets, duplicated above all of the child's, so that setting one
// target never overwrites another's source. They close when `Prepared` goes.
Outcome<> PrepareDescriptors(const ChildProcess::Options& options, Prepared& prepared) {
    for (const auto& [target, source] : options.fds) {
        prepared.highest = std::max(prepared.highest, target);
    }
    for (const auto& [target, source] : options.fds) {
        const int opened =
            source == ChildProcess::kNull ? open("/dev/null", O_RDWR | O_CLOEXEC) : source;
        const int moved = opened < 0 ? -1 : fcntl(opened, F_DUPFD_CLOEXEC, prepared.highest + 1);
        const int error = errno;
        if (opened != source && opened >= 0) {
            close(opened);
        }
        if (moved < 0) {
            return Failure{options.argv.front(),
                           "descriptor " + std::to_string(source) + ": " + std::strerror(error)};
        }
        prepared.fds.emplace_back(target, moved);
    }
    return {};
}

void CloseDescriptors(const Prepared& prepared) {
    for (const auto& [target, source] : prepared.fds) {
        if (source >= 0) {
            close(source);
        }
    }
}

Outcome<> Prepare(const ChildProcess::Options& options, Prepared& prepared) {
    if (options.argv.empty() || options.argv.front().empty()) {
        return Failure{"a program", "no program named"};
    }
    prepared.argv = options.argv;
    // A path is the exec's to judge (its reason is the precise one); a name is looked up.
    if (options.argv.front().find('/') == std::string::npos) {
        std::optional<std::string> program = ChildProcess::FindProgram(options.argv.front());
        if (!program) {
            return Failure{options.argv.front(), "not found on PATH"};
        }
        prepared.argv.front() = *program;
    }
    if (options.environment) {
        prepared.environment = *options.environment;
    } else {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            prepared.environment.emplace_back(*entry);
        }
    }
    prepared.argvPointers = Pointers(prepared.argv);
    prepared.environmentPointers = Pointers(prepared.environment);
    for (const auto& [resource, value] : options.limits) {
        prepared.limits.emplace_back(resource, rlimit{value, value});
    }
    prepared.ownGroup = options.ownGroup;
    prepared.endsWithUs = options.endsWithUs;
    prepared.parent = getpid();
    return PrepareDescriptors(options, prepared);
}

// Reads the errno a failed exec left on the pipe; 0 when the exec closed it.
int ExecError(int readEnd) {
    int error = 0;
    ssize_t got;
    do {
        got = read(readEnd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        return 0;
    }
    return got == sizeof error ? error : EIO;
}

void Reap(pid_t pid, int* status) {
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// Waits until `pid` can be reaped or `deadline` passes, without reaping it.
bool AwaitEnd(pid_t pid, ChildProcess::Clock::time_point deadline) {
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        siginfo_t ended{};
        if (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid == pid) {
            break; // ended (or not ours to wait for)
        }
        const auto now = ChildProcess::Clock::now();
        if (now >= deadline) {
            if (pidfd >= 0) {
                close(pidfd);
            }
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (pidfd >= 0) {
            pollfd readable{pidfd, POLLIN, 0};
            poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        } else {
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(left, kPollPause));
        }
    }
    if (pidfd >= 0) {
        close(pidfd);
    }
    return true;
}

std::string SecondsText(std::chrono::milliseconds duration) {
    return std::to_string(duration.count() / 1000) + "." +
           std::to_string(duration.count() % 1000 / 100) + " s";
}

} // namespace

Outcome<ChildProcess> ChildProcess::Spawn(const Options& options) {
    Prepared prepared;
    Outcome<> ready = Prepare(options, prepared);
    if (!ready) {
        CloseDescriptors(prepared);
        return ready.failure();
    }
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        CloseDescriptors(prepared);
        return Failure{prepared.argv.front(), std::strerror(errno)};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(errorPipe[0]);
        BecomeProgram(prepared, errorPipe[1]);
    }
    const int forkError = errno;
    close(errorPipe[1]);
    CloseDescriptors(prepared);
    if (pid < 0) {
        close(errorPipe[0]);
        return Failure{prepared.argv.front(), std::strerror(forkError)};
    }
    if (options.ownGroup) {
        setpgid(pid, pid); // both sides, so that the group exists whichever runs first
    }
    const int error = ExecError(errorPipe[0]);
    close(errorPipe[0]);
    if (error != 0) {
        Reap(pid, nullptr);
        return Failure{prepared.argv.front(), std::strerror(error)};
    }
    ChildProcess child(pid, prepared.argv.front(), options.ownGroup);
    child.m_started = Clock::now();
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_program(std::move(other.m_program)),
      m_ownGroup(other.m_ownGroup), m_status(other.m_status), m_started(other.m_started) {
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Kill();
        m_pid = std::exchange(other.m_pid, -1);
        m_program = std::move(other.m_program);
        m_ownGroup = other.m_ownGroup;
        m_status = other.m_status;
        m_started = other.m_started;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    Kill();
}

void ChildProcess::Kill() {
    if (running()) {
        kill(m_ownGroup ? -m_pid : m_pid, SIGKILL);
        int status = 0;
        Reap(m_pid, &status);
        m_status = status;
    }
}

bool ChildProcess::AwaitEnd(Clock::time_point deadline) const {
    return !running() || ::AwaitEnd(m_pid, deadline);
}

pid_t ChildProcess::Release() {
    return std::exchange(m_pid, -1);
}

Outcome<> ChildProcess::Wait(Clock::time_point deadline) {
    if (m_pid <= 0) {
        return Failure{m_program, "not started"};
    }
    if (!m_status) {
        if (!::AwaitEnd(m_pid, deadline)) {
            Kill();
            const auto ran =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started);
            return Failure{m_program, "did not end within " + SecondsText(ran) + " and was killed"};
        }
        int status = 0;
        Reap(m_pid, &status);
        m_status = status;
    }
    return Verdict();
}

bool ChildProcess::Ended() {
    if (!running()) {
        return m_pid > 0;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = status;
        return true;
    }
    return false;
}

Outcome<> ChildProcess::Verdict() const {
    const int status = *m_status;
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == 0) {
            return {};
        }
        return Failure{m_program, "exited with status " + std::to_string(WEXITSTATUS(status))};
    }
    if (WIFSIGNALED(status)) {
        return Failure{m_program, "killed by " + SignalName(WTERMSIG(status))};
    }
    return Failure{m_program, "ended with wait status " + std::to_string(status)};
}

int ChildProcess::exitStatus() const {
    return m_status && WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : -1;
}

int ChildProcess::endingSignal() const {
    return m_status && WIFSIGNALED(*m_status) ? WTERMSIG(*m_status) : 0;
}

std::string ChildProcess::SignalName(int signal) {
    const char* name = sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

std::optional<std::string> ChildProcess::FindProgram(const std::string& name,
                                                     const std::string& searchPath) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? Absolute(name) : std::nullopt;
    }
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string::npos) {
            end = searchPath.size();
        }
        const std::string folder = searchPath.substr(start, end - start);
        if (!folder.empty() && IsExecutableFile(fs::path(folder) / name)) {
            return Absolute(fs::path(folder) / name);
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> ChildProcess::FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    return FindProgram(name, path == nullptr ? std::string() : std::string(path));
}

namespace {

// Reaps a detached program we adopted (as a subreaper) when it ends.
void ReapWhenEnded(pid_t program) {
    int status = 0;
    const pid_t reaped = waitpid(program, &status, WNOHANG);
    if (reaped == 0) {
        std::thread([program] { Reap(program, nullptr); }).detach();
    }
    // Else it was reaped now, or it is not ours (init adopted it).
}

// The middle process: a session of its own, starts the program and leaves at once, so that the
// program is nobody's child but init's (or ours again, when we adopt orphans).
[[noreturn]] void StartDetached(const Prepared& prepared, int pidPipe, int errorPipe) {
    setsid();
    const pid_t program = fork();
    if (program == 0) {
        close(pidPipe);
        BecomeProgram(prepared, errorPipe);
    }
    if (program < 0) {
        ReportAndExit(errorPipe);
    }
    const ssize_t ignored = write(pidPipe, &program, sizeof program);
    static_cast<void>(ignored);
    _exit(0);
}

} // namespace

Outcome<pid_t> ChildProcess::LaunchDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty() || argv.front().front() != '/') {
        return Failure{argv.empty() ? std::string() : argv.front(), "not an absolute path"};
    }
    Options options;
    options.argv = argv;
    options.ownGroup = false; // the session is its own
    Prepared prepared;
    if (Outcome<> ready = Prepare(options, prepared); !ready) {
        CloseDescriptors(prepared);
        return ready.failure();
    }
    int pidPipe[2];
    int errorPipe[2];
    if (pipe2(pidPipe, O_CLOEXEC) != 0) {
        CloseDescriptors(prepared);
        return Failure{argv.front(), std::strerror(errno)};
    }
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        close(pidPipe[0]);
        close(pidPipe[1]);
        CloseDescriptors(prepared);
        return Failure{argv.front(), std::strerror(error)};
    }
    const pid_t middle = fork();
    if (middle == 0) {
        close(pidPipe[0]);
        close(errorPipe[0]);
        StartDetached(prepared, pidPipe[1], errorPipe[1]);
    }
    const int forkError = errno;
    close(pidPipe[1]);
    close(errorPipe[1]);
    CloseDescriptors(prepared);
    pid_t program = -1;
    if (middle > 0) {
        Reap(middle, nullptr);
        if (read(pidPipe[0], &program, sizeof program) != sizeof program) {
            program = -1;
        }
    }
    close(pidPipe[0]);
    // End of file once the program's exec closed its end (and the middle has gone).
    const int error = middle < 0 ? forkError : ExecError(errorPipe[0]);
    close(errorPipe[0]);
    if (program > 0) {
        ReapWhenEnded(program);
    }
    if (error != 0 || program <= 0) {
        return Failure{argv.front(), error != 0 ? std::strerror(error) : "did not start"};
    }
    return program;
}

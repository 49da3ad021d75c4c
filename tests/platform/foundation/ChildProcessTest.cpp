#include "foundation/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

// In a map given to RunCaptured: the pipe that captures the output.
constexpr int kOutputPipe = -100;

struct Ran {
    Outcome<> ended;
    std::string output;
    int exitStatus = -1;
    int signal = 0;
    pid_t pid = -1;
};

// Runs `options` with its standard output captured (fd 1) and `input` on its standard input.
Outcome<Ran> RunCaptured(ChildProcess::Options options, const std::string& input,
                         std::chrono::milliseconds limit) {
    int out[2];
    int in[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(in[1]);
    options.fds[0] = in[0];
    options.fds[1] = out[1];
    for (auto& [target, source] : options.fds) {
        source = source == kOutputPipe ? out[1] : source;
    }
    Outcome<ChildProcess> child = ChildProcess::Spawn(options);
    close(in[0]);
    close(out[1]);
    if (!child) {
        close(out[0]);
        return child.failure();
    }
    Ran ran{child.value().Wait(ChildProcess::Clock::now() + limit), "", -1, 0, child.value().pid()};
    ran.output = ReadAll(out[0]);
    close(out[0]);
    ran.exitStatus = child.value().exitStatus();
    ran.signal = child.value().endingSignal();
    return ran;
}

// What each start gives: the output the child printed (a pattern) or the failure's reason.
TEST(ChildProcessTest, StartsAFreshProgramAndSaysHowItEnded) {
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        std::string input;
        std::map<int, int> moreFds;
        std::map<int, rlim_t> limits;
        std::chrono::milliseconds limit;
        const char* output;  // a pattern for the whole output, on success
        const char* failure; // a pattern for the failure's reason; null for success
        int exitStatus;
        int signal;
    };
    // A descriptor of ours that is not in the map: the child must not have it.
    const int stray = fcntl(STDERR_FILENO, F_DUPFD, 50);
    ASSERT_GE(stray, 50);
    const std::string strayPath = "/proc/self/fd/" + std::to_string(stray);
    const Case cases[] = {
        {"the fd map: input, output and a descriptor of its own, nothing else",
         {"/bin/sh", "-c",
          "cat; echo via-fd-7 >&7; test -e " + strayPath + " && echo leaked; exit 0"},
         "page text",
         {{7, kOutputPipe}},
         {},
         10s,
         "page textvia-fd-7\n",
         nullptr,
         0,
         0},
        {"default signals and an empty mask, whatever ours are",
         {"/bin/grep", "-E", "^Sig(Blk|Ign)", "/proc/self/status"},
         "",
         {},
         {},
         10s,
         "SigBlk:\t0+\nSigIgn:\t0+\n",
         nullptr,
         0,
         0},
        {"a resource limit",
         {"/bin/sh", "-c", "ulimit -n"},
         "",
         {},
         {{RLIMIT_NOFILE, 17}},
         10s,
         "17\n",
         nullptr,
         0,
         0},
        {"a name is found on PATH", {"true"}, "", {}, {}, 10s, "", nullptr, 0, 0},
        {"an exit status",
         {"/bin/sh", "-c", "exit 3"},
         "",
         {},
         {},
         10s,
         "",
         "exited with status 3",
         3,
         0},
        {"a signal (ours ignored, the child's default)",
         {"/bin/sh", "-c", "kill -TERM $$"},
         "",
         {},
         {},
         10s,
         "",
         "killed by SIGTERM",
         -1,
         SIGTERM},
        {"a child that does not end in time",
         {"/bin/sleep", "30"},
         "",
         {},
         {},
         200ms,
         "",
         "did not end within [0-9.]+ s and was killed",
         -1,
         SIGKILL},
        {"a path that does not exist",
         {"/nonexistent/program"},
         "",
         {},
         {},
         10s,
         "",
         "No such file or directory",
         -1,
         0},
        {"a name that is nowhere on PATH",
         {"swfharvex-no-such-program"},
         "",
         {},
         {},
         10s,
         "",
         "not found on PATH",
         -1,
         0},
    };
    // Ours differ from a fresh program's: SIGINT blocked, SIGTERM ignored.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGTERM, &ignore, &previous);

    for (const Case& c : cases) {
        ChildProcess::Options options;
        options.argv = c.argv;
        options.limits = c.limits;
        options.fds.insert(c.moreFds.begin(), c.moreFds.end());
        const auto start = std::chrono::steady_clock::now();
        Outcome<Ran> ran = RunCaptured(options, c.input, c.limit);
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.limit + 5s) << c.name;
        if (!ran) {
            EXPECT_NE(c.failure, nullptr) << c.name << ": " << ran.failure().message();
            if (c.failure != nullptr) {
                EXPECT_TRUE(std::regex_search(ran.failure().why, std::regex(c.failure)))
                    << c.name << ": " << ran.failure().message();
            }
            continue;
        }
        const Ran& result = ran.value();
        if (c.failure == nullptr) {
            EXPECT_TRUE(result.ended.ok()) << c.name << ": " << result.ended.failure().message();
            EXPECT_TRUE(std::regex_match(result.output, std::regex(c.output)))
                << c.name << ": " << result.output;
        } else {
            ASSERT_FALSE(result.ended.ok()) << c.name;
            EXPECT_TRUE(std::regex_search(result.ended.failure().why, std::regex(c.failure)))
                << c.name << ": " << result.ended.failure().message();
            EXPECT_EQ(result.ended.failure().what, c.argv.front()) << c.name;
        }
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.name;
        EXPECT_EQ(result.signal, c.signal) << c.name;
        EXPECT_NE(kill(result.pid, 0), 0) << c.name << ": reaped, so gone";
    }
    sigaction(SIGTERM, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(stray);
}

// Whether `pid` has ended: no such process, or a zombie (whoever is to reap it).
bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t end = text.rfind(')');
    return text.empty() || (end != std::string::npos && text.compare(end, 3, ") Z") == 0);
}

// The child leads a group of its own, so that killing the group takes what it started along.
TEST(ChildProcessTest, TheChildLeadsItsOwnGroupAndTakesItAlongWhenKilled) {
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ChildProcess::Options options;
    options.argv = {"/bin/sh", "-c", "sleep 30 & echo $!; cut -d' ' -f5 /proc/$$/stat; wait"};
    options.fds[1] = out[1];
    Outcome<ChildProcess> child = ChildProcess::Spawn(options);
    close(out[1]);
    ASSERT_TRUE(child) << child.failure().message();
    FILE* lines = fdopen(out[0], "r");
    long sleeper = 0;
    long group = 0;
    ASSERT_EQ(std::fscanf(lines, "%ld %ld", &sleeper, &group), 2);
    EXPECT_EQ(group, child.value().pid());
    EXPECT_EQ(getpgid(static_cast<pid_t>(sleeper)), child.value().pid());
    Outcome<> ended = child.value().Wait(ChildProcess::Clock::now() + 100ms);
    EXPECT_FALSE(ended);
    // The group's other member went with it (it is init's to reap, so allow it a moment).
    for (int i = 0; i < 500 && !Gone(static_cast<pid_t>(sleeper)); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(Gone(static_cast<pid_t>(sleeper)));
    std::fclose(lines);
}

// Whether `pid` is a zombie (or still running) child of this process.
bool IsOurChild(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("PPid:")) {
            return std::stol(line.substr(5)) == getpid();
        }
    }
    return false;
}

// A detached program is never our zombie, not even while we adopt orphans (as we do while
// Chromium runs); a program that cannot start is reported.
TEST(ChildProcessTest, ADetachedProgramIsNeverLeftUnreaped) {
    const pid_t tester = fork();
    ASSERT_GE(tester, 0);
    if (tester == 0) {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        int failures = 0;
        for (const char* program : {"/bin/true", "/bin/sleep"}) {
            Outcome<pid_t> started = ChildProcess::LaunchDetached({program, "0.2"});
            if (!started) {
                _exit(10);
            }
            // Adopted by us, it ends soon after; then nothing of it may be left.
            for (int i = 0; i < 500 && IsOurChild(started.value()); ++i) {
                std::this_thread::sleep_for(10ms);
            }
            failures += IsOurChild(started.value()) ? 1 : 0;
        }
        Outcome<pid_t> missing = ChildProcess::LaunchDetached({"/nonexistent/opener"});
        if (missing || missing.failure().why != "No such file or directory") {
            _exit(20);
        }
        if (ChildProcess::LaunchDetached({"relative/opener"})) {
            _exit(30);
        }
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(tester, &status, 0), tester);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no start, 20/30: wrong refusal, else zombies left";
}

} // namespace
